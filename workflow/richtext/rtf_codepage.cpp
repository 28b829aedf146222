#include "workflow/richtext/rtf_codepage.h"

#include <QByteArray>
#include <QStringDecoder>

#include <array>
#include <map>
#include <memory>
#include <mutex>

namespace workflow::richtext {
namespace {

// 0x80..0x9F of windows-1252; the five unassigned bytes keep their C1 value.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t decode1252(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return kWindows1252High[byte - 0x80];
    return byte;
}

// One table of 128 characters per code page, built once through Qt's converters.
const std::array<char16_t, 128>* tableFor(int codePage) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<std::array<char16_t, 128>>> tables;
    const std::lock_guard lock(mutex);
    auto it = tables.find(codePage);
    if (it != tables.end())
        return it->second.get();
    std::unique_ptr<std::array<char16_t, 128>> table;
    QStringDecoder decoder(QByteArray("windows-") + QByteArray::number(codePage));
    if (!decoder.isValid())
        decoder = QStringDecoder(QByteArray("CP") + QByteArray::number(codePage));
    if (decoder.isValid()) {
        table = std::make_unique<std::array<char16_t, 128>>();
        for (int b = 0; b < 128; ++b) {
            const char byte = static_cast<char>(0x80 + b);
            const QString s = decoder.decode(QByteArrayView(&byte, 1));
            (*table)[static_cast<std::size_t>(b)] = s.size() == 1 ? s[0].unicode() : u'?';
        }
    }
    return tables.emplace(codePage, std::move(table)).first->second.get();
}

// ICU names for the double-byte code pages; the Windows forms are supersets of the
// standards (cp949 of EUC-KR, cp936 of GB2312).
// Opening a converter is costly and a document decodes one pair at a time: each thread
// keeps its own (converters are not shared between threads).
QStringDecoder* doubleByteDecoder(int codePage) {
    const char* name = nullptr;
    switch (codePage) {
    case 932: name = "windows-31j"; break;
    case 936: name = "GBK"; break;
    case 949: name = "windows-949"; break;
    case 950: name = "Big5"; break;
    default: return nullptr;
    }
    thread_local std::map<int, QStringDecoder> decoders;
    auto it = decoders.find(codePage);
    if (it == decoders.end()) {
        QStringDecoder decoder(name, QStringConverter::Flag::Stateless);
        if (!decoder.isValid() && codePage == 932)
            decoder = QStringDecoder("Shift_JIS", QStringConverter::Flag::Stateless);
        it = decoders.emplace(codePage, std::move(decoder)).first;
    }
    if (!it->second.isValid())
        return nullptr;
    it->second.resetState();
    return &it->second;
}

QString decodeDoubleByteSingle(int codePage, unsigned char byte) {
    QStringDecoder* decoder = doubleByteDecoder(codePage);
    if (!decoder)
        return {};
    const char c = static_cast<char>(byte);
    const QString s = decoder->decode(QByteArrayView(&c, 1));
    return decoder->hasError() ? QString() : s;
}

} // namespace

int codePageOfCharset(int charset) {
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;
    }
}

char16_t decodeCodePageByte(int codePage, unsigned char byte) {
    if (byte < 0x80 || codePage == 1252 || codePage <= 0)
        return decode1252(byte);
    // Single bytes of double-byte code pages (half-width katakana of 932) go through the
    // code page's own table; a lone lead byte comes out as '?'.
    if (isDoubleByteCodePage(codePage)) {
        if (isLeadByte(codePage, byte))
            return u'?';
        const QString s = decodeDoubleByteSingle(codePage, byte);
        return s.size() == 1 ? s[0].unicode() : u'?';
    }
    const auto* table = tableFor(codePage);
    return table ? (*table)[byte - 0x80u] : decode1252(byte);
}

bool isDoubleByteCodePage(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool isLeadByte(int codePage, unsigned char b) {
    switch (codePage) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936: case 949: case 950: return b >= 0x81 && b <= 0xFE;
    default: return false;
    }
}

bool isTrailByte(int codePage, unsigned char b) {
    switch (codePage) {
    case 932: return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    case 936: return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
    case 949: return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
    case 950: return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
    default: return false;
    }
}

QString decodeDoubleByte(int codePage, unsigned char lead, unsigned char trail) {
    QStringDecoder* decoder = doubleByteDecoder(codePage);
    if (!decoder || !isLeadByte(codePage, lead) || !isTrailByte(codePage, trail))
        return QString(QChar(QChar::ReplacementCharacter));
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    const QString s = decoder->decode(QByteArrayView(pair, 2));
    if (decoder->hasError() || s.isEmpty())
        return QString(QChar(QChar::ReplacementCharacter));
    return s;
}

QString decodeCodePageBytes(int codePage, QByteArrayView bytes) {
    if (isDoubleByteCodePage(codePage)) {
        if (QStringDecoder* decoder = doubleByteDecoder(codePage))
            return decoder->decode(bytes);
    }
    QString s;
    s.reserve(bytes.size());
    for (char c : bytes)
        s.append(QChar(decodeCodePageByte(codePage, static_cast<unsigned char>(c))));
    return s;
}

std::optional<unsigned char> encodeWindows1252(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<unsigned char>(ch);
    for (std::size_t i = 0; i < kWindows1252High.size(); ++i)
        if (kWindows1252High[i] == ch && !(ch >= 0x80 && ch <= 0x9F))
            return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

} // namespace workflow::richtext
