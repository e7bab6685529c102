#include "exchange/FilePieces.h"

#include <QIODevice>

#include <algorithm>

FilePieces::FilePieces(QIODevice& device, qint64 pieceBytes)
    : m_device(device), m_pieceBytes(std::max<qint64>(pieceBytes, 1)),
      m_total(device.isSequential() ? 0 : device.size() - device.pos())
{
}

QByteArray FilePieces::Next()
{
    QByteArray piece = std::exchange(m_rest, QByteArray());
    while (!m_atEnd) {
        const QByteArray more = m_device.read(m_pieceBytes);
        m_atEnd = more.isEmpty() || m_device.atEnd();
        piece += more;
        if (m_atEnd) {
            break;
        }
        // After the last LF; else after the last CR whose next byte is known, and so is no LF:
        // a CR LF pair is never split.
        qsizetype cut = piece.lastIndexOf('\n');
        if (cut < 0) {
            cut = QByteArrayView(piece).chopped(1).lastIndexOf('\r');
        }
        if (cut >= 0) {
            m_rest = piece.sliced(cut + 1);
            piece.truncate(cut + 1);
            break;
        }
        if (piece.size() > MaxValueBytes) {
            break; // a line too long to keep: its readers skip it piece by piece
        }
    }
    m_done += piece.size();
    return piece;
}
