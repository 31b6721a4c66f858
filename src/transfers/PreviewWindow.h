#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace ombrelay {

// The preview of a downloaded file inside the application: pictures scaled to the window, the start of
// text files, and for anything else its icon, name and size. Reads the file; never runs it.
class PreviewWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr qint64 kTextLimit = 64 * 1024;

    explicit PreviewWindow(QWidget* parent = nullptr);
    void showPath(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_picture;
    QPlainTextEdit* m_text;
    QLabel* m_caption;
};

}  // namespace ombrelay
