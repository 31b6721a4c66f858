#include "transfers/PreviewWindow.h"

#include "kit/PZByteSize.h"
#include "transfers/DesktopFiles.h"
#include "uikit/PZIconCache.h"

#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrelay {

PreviewWindow::PreviewWindow(QWidget* parent)
    : QDialog(parent), m_picture(new QLabel(this)), m_text(new QPlainTextEdit(this)), m_caption(new QLabel(this)),
      m_play(new QPushButton(tr("Play"), this))
{
    setWindowFlag(Qt::Tool);
    resize(640, 480);
    m_picture->setAlignment(Qt::AlignCenter);
    m_text->setReadOnly(true);
    // Space, Left and Right belong to the window (close, step), not to the text's cursor.
    m_text->installEventFilter(this);
    m_caption->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_picture, 1);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_caption);
    layout->addWidget(m_play, 0, Qt::AlignHCenter);
    m_play->setAutoDefault(false);
    m_play->setFocusPolicy(Qt::NoFocus);  // Space closes the preview; Return plays
    connect(m_play, &QPushButton::clicked, this, [this] {
        const QString path = m_paths.value(m_index);
        if (!path.isEmpty() && !DesktopFiles::isExecutableContent(path))
            DesktopFiles::openPath(path);
    });
}

void PreviewWindow::showPaths(const QStringList& paths)
{
    setPaths(paths);
    if (m_paths.isEmpty())
        return;
    show();
    raise();
    activateWindow();
}

void PreviewWindow::setPaths(const QStringList& paths)
{
    m_paths = paths;
    m_index = 0;
    if (m_paths.isEmpty())
        close();
    else
        showCurrent();
}

void PreviewWindow::showCurrent()
{
    const QString path = m_paths.at(m_index);
    const QFileInfo info(path);
    setWindowTitle(m_paths.size() > 1 ? tr("%1 (%2 of %3)").arg(info.fileName()).arg(m_index + 1).arg(m_paths.size())
                                      : info.fileName());
    m_caption->setText(info.isDir() ? info.fileName()
                                    : QStringLiteral("%1 — %2").arg(info.fileName(),
                                                                    PZByteSize::sizeWithValue(quint64(info.size())).description()));
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    QImageReader reader(path);
    reader.setAllocationLimit(256);
    QImage picture;
    if (info.isFile() && type.name().startsWith(QLatin1String("image/")))
        picture = reader.read();
    QString text;
    if (picture.isNull() && info.isFile() && type.inherits(QStringLiteral("text/plain"))) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            text = QString::fromUtf8(file.read(kTextLimit));
    }
    m_text->setVisible(!text.isNull());
    m_text->setPlainText(text);
    if (!picture.isNull())
        m_picture->setPixmap(QPixmap::fromImage(picture).scaled(600, 420, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else if (text.isNull())
        m_picture->setPixmap(PZIconCache::instance128().iconForFilePath(path));
    m_picture->setVisible(text.isNull());
    m_play->setVisible(info.isFile() && (type.name().startsWith(QLatin1String("audio/")) || type.name().startsWith(QLatin1String("video/"))));
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Left || key == Qt::Key_Right) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_play->isVisible())
            m_play->click();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_paths.size() > 1) {
            const int step = event->key() == Qt::Key_Right ? 1 : -1;
            m_index = (m_index + step + int(m_paths.size())) % int(m_paths.size());
            showCurrent();
        }
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

}  // namespace ombrelay
