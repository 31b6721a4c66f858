#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ombrelay {

// The preview of a downloaded file inside the application: pictures scaled to the window, the start of
// text files, and for anything else its icon, name and size; a song or video has a Play button (Return)
// that hands it to the default application. Reads the file; never runs it.
class PreviewWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr qint64 kTextLimit = 64 * 1024;

    explicit PreviewWindow(QWidget* parent = nullptr);
    // Shows the items in turn from the first (Left and Right step through them) and brings the window up.
    void showPaths(const QStringList& paths);
    // New items for an open window, from the first, leaving the focus where it is; none closes it.
    void setPaths(const QStringList& paths);
    QStringList paths() const { return m_paths; }
    int currentIndex() const { return m_index; }
    QPushButton* playButton() const { return m_play; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showCurrent();

    QStringList m_paths;
    int m_index = 0;
    QLabel* m_picture;
    QPlainTextEdit* m_text;
    QLabel* m_caption;
    QPushButton* m_play;
};

}  // namespace ombrelay
