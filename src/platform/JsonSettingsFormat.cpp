#include "JsonSettingsFormat.h"

#include <QFileDevice>
#include <QIODevice>
#include <cctype>
#include <charconv>
#include <cstring>
#include <cmath>
#include <mutex>

namespace {

// A strict JSON reader that, unlike QJsonDocument, keeps "1" (an integer) apart from
// "1.0" (a float). Nesting is limited so a hostile file cannot exhaust the stack.
class JsonReader {
public:
    explicit JsonReader(const QByteArray &bytes)
        : p_(bytes.constData())
        , end_(bytes.constData() + bytes.size())
    {
    }

    bool readDocument(QVariantMap &object)
    {
        skipSpace();
        QVariant value;
        if (!readValue(value, 0) || value.typeId() != QMetaType::QVariantMap)
            return false;
        skipSpace();
        if (p_ != end_)
            return false;
        object = value.toMap();
        return true;
    }

private:
    static constexpr int kMaxDepth = 256;

    void skipSpace()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r'))
            ++p_;
    }

    bool literal(const char *word)
    {
        const size_t n = std::strlen(word);
        if (size_t(end_ - p_) < n || std::memcmp(p_, word, n) != 0)
            return false;
        p_ += n;
        return true;
    }

    bool readValue(QVariant &value, int depth)
    {
        if (p_ >= end_ || depth > kMaxDepth)
            return false;
        switch (*p_) {
        case '{': return readObject(value, depth);
        case '[': return readArray(value, depth);
        case '"': {
            QString text;
            if (!readString(text))
                return false;
            value = text;
            return true;
        }
        case 't': value = true; return literal("true");
        case 'f': value = false; return literal("false");
        case 'n': value = QVariant(); return literal("null");
        default: return readNumber(value);
        }
    }

    bool readObject(QVariant &value, int depth)
    {
        ++p_;
        QVariantMap map;
        skipSpace();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            value = map;
            return true;
        }
        while (true) {
            skipSpace();
            QString key;
            if (p_ >= end_ || *p_ != '"' || !readString(key))
                return false;
            skipSpace();
            if (p_ >= end_ || *p_ != ':')
                return false;
            ++p_;
            skipSpace();
            QVariant item;
            if (!readValue(item, depth + 1))
                return false;
            map.insert(key, item);
            skipSpace();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == '}') {
                ++p_;
                value = map;
                return true;
            }
            return false;
        }
    }

    bool readArray(QVariant &value, int depth)
    {
        ++p_;
        QVariantList list;
        skipSpace();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            value = list;
            return true;
        }
        while (true) {
            skipSpace();
            QVariant item;
            if (!readValue(item, depth + 1))
                return false;
            list.append(item);
            skipSpace();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == ']') {
                ++p_;
                value = list;
                return true;
            }
            return false;
        }
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool readHex4(char16_t &unit)
    {
        if (end_ - p_ < 4)
            return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = hexDigit(p_[i]);
            if (d < 0)
                return false;
            unit = char16_t(unit * 16 + d);
        }
        p_ += 4;
        return true;
    }

    bool readString(QString &text)
    {
        ++p_; // opening quote
        QByteArray utf8;
        while (p_ < end_ && *p_ != '"') {
            const char c = *p_++;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                utf8 += c;
                continue;
            }
            if (p_ >= end_)
                return false;
            const char e = *p_++;
            switch (e) {
            case '"': utf8 += '"'; break;
            case '\\': utf8 += '\\'; break;
            case '/': utf8 += '/'; break;
            case 'b': utf8 += '\b'; break;
            case 'f': utf8 += '\f'; break;
            case 'n': utf8 += '\n'; break;
            case 'r': utf8 += '\r'; break;
            case 't': utf8 += '\t'; break;
            case 'u': {
                char16_t units[2] = {0, 0};
                if (!readHex4(units[0]))
                    return false;
                qsizetype count = 1;
                if (QChar::isHighSurrogate(units[0]) && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
                    const char *back = p_;
                    p_ += 2;
                    if (readHex4(units[1]) && QChar::isLowSurrogate(units[1]))
                        count = 2;
                    else
                        p_ = back;
                }
                utf8 += QString(reinterpret_cast<const QChar *>(units), count).toUtf8(); // lone surrogates: U+FFFD
                break;
            }
            default:
                return false;
            }
        }
        if (p_ >= end_)
            return false;
        ++p_; // closing quote
        text = QString::fromUtf8(utf8);
        return true;
    }

    bool readNumber(QVariant &value)
    {
        const char *start = p_;
        if (p_ < end_ && *p_ == '-')
            ++p_;
        const char *digits = p_;
        while (p_ < end_ && std::isdigit(static_cast<unsigned char>(*p_)))
            ++p_;
        if (p_ == digits)
            return false;
        bool floating = false;
        if (p_ < end_ && *p_ == '.') {
            floating = true;
            const char *fraction = ++p_;
            while (p_ < end_ && std::isdigit(static_cast<unsigned char>(*p_)))
                ++p_;
            if (p_ == fraction)
                return false;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            floating = true;
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-'))
                ++p_;
            const char *exponent = p_;
            while (p_ < end_ && std::isdigit(static_cast<unsigned char>(*p_)))
                ++p_;
            if (p_ == exponent)
                return false;
        }
        if (!floating) {
            qint64 integer = 0;
            const auto result = std::from_chars(start, p_, integer);
            if (result.ec == std::errc() && result.ptr == p_) {
                value = integer;
                return true;
            }
        }
        double number = 0.0;
        const auto result = std::from_chars(start, p_, number);
        if (result.ptr != p_)
            return false;
        value = result.ec == std::errc::result_out_of_range ? 0.0 : number;
        return true;
    }

    const char *p_;
    const char *end_;
};

void writeString(QByteArray &out, const QString &text)
{
    out += '"';
    // Escaping works on the UTF-8 bytes: multi-byte sequences never hold bytes below 0x80.
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0')).toLatin1();
            else
                out += c;
        }
    }
    out += '"';
}

// A single-precision value is written as the exact double it widens to, so it reads
// back as a double that narrows to the same float.
void writeFloating(QByteArray &out, double value, bool single)
{
    if (single)
        value = double(float(value));
    if (!std::isfinite(value)) { // JSON has no infinity; keep the file readable
        out += "0.0";
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QByteArray text(buffer, int(result.ptr - buffer));
    if (!text.contains('.') && !text.contains('e'))
        text += ".0"; // so it reads back as a float, not an integer
    out += text;
}

void writeValue(QByteArray &out, const QVariant &value, int depth)
{
    const QByteArray indent(2 * (depth + 1), ' ');
    const QByteArray closing(2 * depth, ' ');
    switch (value.typeId()) {
    case QMetaType::Bool:
        out += value.toBool() ? "true" : "false";
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        out += QByteArray::number(value.toLongLong());
        return;
    case QMetaType::Float:
        writeFloating(out, value.toDouble(), true);
        return;
    case QMetaType::Double:
        writeFloating(out, value.toDouble(), false);
        return;
    case QMetaType::QString:
        writeString(out, value.toString());
        return;
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        if (list.isEmpty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        for (qsizetype i = 0; i < list.size(); ++i) {
            out += indent;
            writeValue(out, list.at(i), depth + 1);
            out += i + 1 < list.size() ? ",\n" : "\n";
        }
        out += closing + "]";
        return;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        if (map.isEmpty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        qsizetype i = 0;
        for (auto it = map.cbegin(); it != map.cend(); ++it, ++i) {
            out += indent;
            writeString(out, it.key());
            out += ": ";
            writeValue(out, it.value(), depth + 1);
            out += i + 1 < map.size() ? ",\n" : "\n";
        }
        out += closing + "}";
        return;
    }
    default:
        if (value.canConvert<QString>() && value.isValid())
            writeString(out, value.toString());
        else
            out += "null";
    }
}

bool readJson(QIODevice &device, QSettings::SettingsMap &map)
{
    return parseJsonSettings(device.readAll(), map);
}

bool writeJson(QIODevice &device, const QSettings::SettingsMap &map)
{
    const QByteArray bytes = serialiseJsonSettings(map);
    if (device.write(bytes) != bytes.size())
        return false;
    // QSettings commits its new file even when the last buffered bytes failed to reach
    // the disk (a full disk), emptying the preferences; a failed flush here makes it
    // keep the old file instead.
    auto *file = qobject_cast<QFileDevice *>(&device);
    return !file || file->flush();
}

} // namespace

bool parseJsonSettings(const QByteArray &bytes, QSettings::SettingsMap &map)
{
    if (bytes.trimmed().isEmpty())
        return true; // an empty file is an empty store
    QVariantMap object;
    if (!JsonReader(bytes).readDocument(object))
        return false;
    for (auto it = object.cbegin(); it != object.cend(); ++it)
        map.insert(it.key(), it.value());
    return true;
}

QByteArray serialiseJsonSettings(const QSettings::SettingsMap &map)
{
    QByteArray out;
    writeValue(out, QVariant(QVariantMap(map)), 0);
    out += '\n';
    return out;
}

QSettings::Format jsonSettingsFormat()
{
    static QSettings::Format format = QSettings::InvalidFormat;
    static std::once_flag once;
    std::call_once(once, [] { format = QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson); });
    return format;
}
