#include "transfers/PreviewWindow.h"

#include "kit/PZByteSize.h"
#include "uikit/PZIconCache.h"

#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace ombrelay {

PreviewWindow::PreviewWindow(QWidget* parent)
    : QDialog(parent), m_picture(new QLabel(this)), m_text(new QPlainTextEdit(this)), m_caption(new QLabel(this))
{
    setWindowFlag(Qt::Tool);
    resize(640, 480);
    m_picture->setAlignment(Qt::AlignCenter);
    m_text->setReadOnly(true);
    m_caption->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_picture, 1);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_caption);
}

void PreviewWindow::showPath(const QString& path)
{
    const QFileInfo info(path);
    setWindowTitle(info.fileName());
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
    show();
    raise();
    activateWindow();
}

void PreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace ombrelay
