// Enciphering and deciphering typical contact fields (10 to 40 bytes), in bytes of plain text
// per second.
#include <QStringList>

#include <benchmark/benchmark.h>

#include "store/Encryption.h"

namespace {

QStringList TypicalFields()
{
    return {QStringLiteral("Margarethe Oberholzer"),
            QStringLiteral("+41 44 123 45 67"),
            QStringLiteral("0171 2345678"),
            QStringLiteral("m.oberholzer@example.org; marga@example.com"),
            QStringLiteral("1234567890"),
            QStringLiteral("oberholzer@hotmail.example"),
            QStringLiteral("Li Wei"),
            QStringLiteral("555-0100 ext. 42")};
}

qint64 TotalBytes(const QStringList& fields)
{
    qint64 bytes = 0;
    for (const QString& f : fields) {
        bytes += f.toUtf8().size();
    }
    return bytes;
}

void BM_Encrypt(benchmark::State& state)
{
    const CodePage utf8 = CodePage::Utf8();
    const QStringList fields = TypicalFields();
    for (auto _ : state) {
        for (const QString& f : fields) {
            benchmark::DoNotOptimize(Encrypt(f, utf8));
        }
    }
    state.SetBytesProcessed(state.iterations() * TotalBytes(fields));
}
BENCHMARK(BM_Encrypt);

void BM_Decrypt(benchmark::State& state)
{
    const CodePage utf8 = CodePage::Utf8();
    const QStringList fields = TypicalFields();
    QList<QByteArray> ciphers;
    for (const QString& f : fields) {
        ciphers.append(Encrypt(f, utf8).toLatin1());
    }
    for (auto _ : state) {
        for (const QByteArray& c : ciphers) {
            benchmark::DoNotOptimize(Decrypt(QByteArrayView(c), utf8));
        }
    }
    state.SetBytesProcessed(state.iterations() * TotalBytes(fields));
}
BENCHMARK(BM_Decrypt);

void BM_DecryptGbk(benchmark::State& state)
{
    const CodePage gbk("GBK");
    const QString field = QStringLiteral("王小明 北京市海淀区");
    const QByteArray cipher = Encrypt(field, gbk).toLatin1();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Decrypt(QByteArrayView(cipher), gbk));
    }
    state.SetBytesProcessed(state.iterations() * gbk.FromUnicode(field).size());
}
BENCHMARK(BM_DecryptGbk);

} // namespace
