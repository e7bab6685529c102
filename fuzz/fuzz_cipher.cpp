// The field cipher: any stored text deciphers without harm, and enciphering then deciphering gives
// back any text the code page holds.
#include "fuzz/FuzzSupport.h"
#include "store/Encryption.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    static const CodePage codePages[] = {CodePage::Utf8(), CodePage("CP936"), CodePage("CP950"), CodePage("CP1252")};
    const CodePage& codePage = codePages[data[0] % 4];
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size) - 1);

    // Whatever a damaged or foreign book holds in a field.
    Decrypt(QByteArrayView(rest), codePage);
    Decrypt(QStringView(QString::fromLatin1(rest)), codePage);

    for (const QString& text : {QString::fromUtf8(rest), codePage.ToUnicode(rest)}) {
        if (codePage.CanEncode(text)) {
            const QString cipher = Encrypt(text, codePage);
            FUZZ_CHECK(Decrypt(QStringView(cipher), codePage) == text);
            FUZZ_CHECK(Decrypt(QByteArrayView(cipher.toLatin1()), codePage) == text);
        }
    }
    return 0;
}
