#include "FormEncoding.h"

namespace form {

QByteArray EncodeComponent(const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out.append(char(c));
        } else if (c == ' ') {
            out.append('+');
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xF]);
        }
    }
    return out;
}

QByteArray Encode(const FormFields& fields)
{
    QByteArray out;
    for (const auto& [name, value] : fields) {
        if (!out.isEmpty()) out.append('&');
        out.append(EncodeComponent(name));
        out.append('=');
        out.append(EncodeComponent(value));
    }
    return out;
}

} // namespace form
