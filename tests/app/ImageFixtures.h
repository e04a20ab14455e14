#pragma once

#include "FakeServer.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

// Image bodies for tests: real encoded PNGs and hostile ones.
namespace imagefixtures {

inline QByteArray png(int width, int height, QColor color = Qt::red)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A PNG whose header declares width x height RGBA pixels but carries almost
// no data: decoding it naively would allocate width*height*4 bytes.
inline QByteArray bombPng(quint32 width, quint32 height)
{
    const auto chunk = [](const QByteArray &type, const QByteArray &data) {
        QByteArray out;
        quint32 length = qToBigEndian(quint32(data.size()));
        out.append(reinterpret_cast<const char *>(&length), 4);
        QByteArray body = type + data;
        out.append(body);
        // CRC over type+data (PNG's CRC-32).
        quint32 crc = 0xFFFFFFFFu;
        for (unsigned char byte : body) {
            crc ^= byte;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        crc = qToBigEndian(crc ^ 0xFFFFFFFFu);
        out.append(reinterpret_cast<const char *>(&crc), 4);
        return out;
    };
    QByteArray ihdr;
    quint32 w = qToBigEndian(width), h = qToBigEndian(height);
    ihdr.append(reinterpret_cast<const char *>(&w), 4);
    ihdr.append(reinterpret_cast<const char *>(&h), 4);
    ihdr.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
    QByteArray zeros = qCompress(QByteArray(64 * 1024, '\0')).mid(4); // zlib stream, no Qt length prefix
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", zeros) + chunk("IEND", {});
}

inline FakeServer::Response pngResponse(const QByteArray &bytes, int delayMs = 0)
{
    FakeServer::Response r = FakeServer::Response::raw(200, bytes, "image/png");
    r.delayMs = delayMs;
    return r;
}

} // namespace imagefixtures
