#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ombrelay {

// The about box (application-modal): name, icon, "Version <version> (v<build>)" and links to the
// product's site and blog.
class KoAboutBoxController : public QDialog
{
    Q_OBJECT
public:
    explicit KoAboutBoxController(QWidget* parent = nullptr);

    static QString versionText();
    QLabel* versionField() const { return m_versionField; }
    void showCentered();

private:
    // A button, named as its action, that opens `address` in the desktop's browser.
    QPushButton* linkButton(const QString& name, const QString& title, const char* address);

    QLabel* m_versionField;
};

}  // namespace ombrelay
