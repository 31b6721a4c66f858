#pragma once

#include <QDialog>
#include <QUrl>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ombrelay {

class Feed;
class SourceListActions;

// The sheet in which the user subscribes to a feed: the typed address is tried with a private trial feed
// once typing pauses, and Subscribe is enabled only when that load answered with an RSS, RDF or Atom
// document; otherwise a badge says why.
class RSSAddPanel : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kTypingPauseMs = 500;
    static constexpr int kMaxNameLength = 200;

    RSSAddPanel(QWidget* mainWindow, SourceListActions* sourceList);
    ~RSSAddPanel() override;

    // Resets the panel, takes the address (may be empty), tries it at once and opens the sheet.
    void openWithInitialAddress(const QString& address);
    void resetState();

    static bool hasValidPrefix(const QString& text);
    // The typed text as a feed address ("feed://" read as "http://", "http://" added when no scheme),
    // or an invalid address when it has no host.
    static QUrl urlValueFromString(const QString& text);

    QLineEdit* urlField() const { return m_url; }
    QLineEdit* nameField() const { return m_name; }
    QPushButton* subscribeButton() const { return m_subscribeButton; }
    QLabel* invalidBadge() const { return m_invalidBadge; }

    void add();
    void reject() override;
    // How long a silent server may keep the trial waiting; tests shorten it.
    void setTrialTimeoutMs(int ms) { m_trialTimeoutMs = ms; }

private:
    void addressEdited();
    void attemptToLoadFeed();
    void attemptToLoadURL(const QUrl& address);
    void feedLoaded();
    void feedError();
    void showInvalid(const QString& reason);
    void dropTrial();
    void endSheet();

    SourceListActions* m_sourceList;
    QLineEdit* m_url;
    QLineEdit* m_name;
    QPushButton* m_subscribeButton;
    QLabel* m_invalidBadge;
    std::unique_ptr<Feed> m_tempFeed;
    int m_trialTimeoutMs = 0;  // 0: the trial feed's own
};

}  // namespace ombrelay
