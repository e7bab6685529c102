#include "fuzz/FuzzSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

QList<QByteArray> SplitInput(const std::uint8_t* data, std::size_t size, int count)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<QByteArray> fields;
    qsizetype start = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype end = input.indexOf('\n', start);
        if (end < 0) {
            fields.append(input.mid(start));
            return fields;
        }
        fields.append(input.mid(start, end - start));
        start = end + 1;
    }
    fields.append(input.mid(start));
    return fields;
}

QString ScratchFolder()
{
    static QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no scratch folder\n");
        std::abort();
    }
    return dir.path() + QLatin1Char('/');
}

QString ScratchFile(const QString& name, const QByteArray& bytes)
{
    const QString path = ScratchFolder() + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

void FuzzFailure(const char* check, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, check);
    std::abort();
}
