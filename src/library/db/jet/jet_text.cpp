#include "library/db/jet/jet_text.h"

#include "library/app_error.h"
#include "library/gbk_codec.h"

#include <QStringDecoder>

namespace {

// The text codec of a Jet 3 file's code page.
QByteArray Jet3CodecName(int codePage)
{
    switch (codePage) {
    case 936:
        return "GBK";
    case 950:
        return "Big5";
    case 932:
        return "Shift_JIS";
    case 0:
        return "windows-1252";
    default:
        return "windows-" + QByteArray::number(codePage);
    }
}

}  // namespace

QString DecodeJet4Text(const QByteArray& bytes)
{
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    QString text;
    if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        // Compressed: one byte a character until a zero byte switches to
        // two-byte units, and back at the next zero byte.
        text.reserve(bytes.size());
        bool compressed = true;
        qsizetype i = 2;
        while (i < bytes.size()) {
            if (byteAt(i) == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.append(QChar(static_cast<char16_t>(byteAt(i))));
                ++i;
            } else if (i + 1 < bytes.size()) {
                text.append(QChar(static_cast<char16_t>(byteAt(i) | (byteAt(i + 1) << 8))));
                i += 2;
            } else {
                throw TAppError(QStringLiteral("压缩文本在半个字符处结束"));
            }
        }
        return text;
    }
    if (bytes.size() % 2 != 0)
        throw TAppError(QStringLiteral("文本的字节数为奇数，不是 UTF-16"));
    text.resize(bytes.size() / 2);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(static_cast<char16_t>(byteAt(2 * i) | (byteAt(2 * i + 1) << 8)));
    return text;
}

QString DecodeJetText(const QByteArray& bytes, const TJetTextForm& form)
{
    if (!form.Jet3)
        return DecodeJet4Text(bytes);
    if (form.CodePage == 936)
        return TextFromGbk(bytes);  // GBK through the system's own converter
    QStringDecoder decoder(Jet3CodecName(form.CodePage).constData());
    if (!decoder.isValid())
        throw TAppError(QStringLiteral("不支持代码页 %1").arg(form.CodePage));
    return decoder.decode(bytes);
}
