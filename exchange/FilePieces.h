#pragma once

#include <QByteArray>

#include <functional>

class QIODevice;

// How far reading a file has come: bytes done of total (0 when unknown). False cancels.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

// Pieces of 1 MB: large enough that reading costs nothing extra, small enough that the window,
// which is told of each piece, paints and hears Cancel every few tens of milliseconds.
inline constexpr qint64 FilePieceBytes = 1LL * 1024 * 1024;
// The longest value (and line) a contact file may hold; a longer one is reported and skipped, and
// never held whole.
inline constexpr qint64 MaxValueBytes = 16LL * 1024 * 1024;
// The first 16 MB of a file (some 45,000 contacts) tell its encoding as well as the whole would.
inline constexpr qint64 EncodingPrefixBytes = 16LL * 1024 * 1024;

// A file read piece by piece, so a file of a million contacts is never held whole. Every piece
// but the last ends at a line end: no line, and in the encodings contact files come in (UTF-8,
// the Chinese double-byte ones, the Windows code pages) no character, is split between two.
class FilePieces
{
public:
    FilePieces(QIODevice& device, qint64 pieceBytes);

    // The next piece; empty once the file is read. A line longer than pieceBytes comes whole up
    // to MaxValueBytes; one longer still, which no reader keeps, is cut there without regard to
    // its characters.
    QByteArray Next();
    bool AtEnd() const { return m_atEnd; }
    qint64 Done() const { return m_done; }
    qint64 Total() const { return m_total; }

private:
    QIODevice& m_device;
    qint64 m_pieceBytes;
    QByteArray m_rest; // read, but after the last line end of the piece before
    qint64 m_done = 0;
    qint64 m_total = 0;
    bool m_atEnd = false;
};
