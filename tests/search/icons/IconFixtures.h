#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

namespace ombrelay::test {

// A 16 x 16 icon: clear background, an opaque red square in the middle with a half-clear rim.
inline QImage sampleIcon()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(3, 3, 10, 10, QColor(255, 0, 0, 128));
    painter.fillRect(4, 4, 8, 8, QColor(255, 0, 0));
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

// A GIF of `image` with colour 0 transparent, 1 red, 2 white, 3 black. Qt reads GIF but cannot write it:
// this writes the codes uncompressed, a clear code before every two, so the code size stays 3 bits.
inline QByteArray gif(const QImage& image)
{
    QByteArray out("GIF89a");
    const auto word = [&](int v) { out += char(v & 0xff); out += char((v >> 8) & 0xff); };
    word(image.width());
    word(image.height());
    out += char(0xF1);  // global table of 4 colours
    out += char(0);
    out += char(0);
    out += QByteArray("\x00\x00\x00\xff\x00\x00\xff\xff\xff\x00\x00\x00", 12);
    out += QByteArray("\x21\xF9\x04\x01\x00\x00\x00\x00", 8);  // transparent index 0
    out += ',';
    word(0);
    word(0);
    word(image.width());
    word(image.height());
    out += char(0);
    out += char(2);  // minimum code size
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    const auto code = [&](int c) {
        bits |= quint32(c) << count;
        count += 3;
        while (count >= 8) {
            data += char(bits & 0xff);
            bits >>= 8;
            count -= 8;
        }
    };
    int run = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (run++ % 2 == 0)
                code(4);  // clear
            const QRgb p = image.pixel(x, y);
            code(qAlpha(p) < 128 ? 0 : qRed(p) > 128 && qGreen(p) < 128 ? 1 : qRed(p) > 128 ? 2 : 3);
        }
    code(5);  // end
    if (count > 0)
        data += char(bits & 0xff);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out += char(block.size());
        out += block;
    }
    out += char(0);
    out += ';';
    return out;
}

}  // namespace ombrelay::test
