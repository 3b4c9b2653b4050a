#include "ui/text.h"

#include <QStringDecoder>

#include "mail/charsets.h"
#include "mail/headers.h"

namespace quorvel::ui {

QLabel* plainLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

namespace {

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const unsigned char c : bytes)
        text += QChar(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c));
    return text;
}

QByteArrayView view(const std::string& bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

QString fromBytes(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view(bytes));
    if (!utf8.hasError()) return text;
    return fromWindows1252(bytes);
}

QString fromCharSet(const std::string& bytes, const std::string& charSet) {
    // The core's conversion, so the window shows what quorvel-check prints.
    return QString::fromStdString(charSetToUtf8(bytes, std::string(trimmed(charSet)), true));
}

QList<QChar> accessKeys(const QStringList& captions) {
    QList<QChar> keys;
    QString taken;
    for (const QString& caption : captions) {
        QChar key;
        if (!caption.contains('&'))
            for (const QChar c : caption)
                if (c.isLetter() && !taken.contains(c.toLower())) {
                    key = c.toLower();
                    taken += key;
                    break;
                }
        keys << key;
    }
    return keys;
}

QString withAccessKey(const QString& caption, QChar key) {
    if (key.isNull() || caption.contains('&')) return caption;
    for (qsizetype i = 0; i < caption.size(); ++i)
        if (caption[i].toLower() == key) return caption.left(i) + '&' + caption.mid(i);
    return caption;
}

std::string toBytes(const QString& text) {
    return text.toStdString();
}

}  // namespace quorvel::ui
