#include "browser/PhotoText.h"

#include <QStringList>
#include <cmath>

namespace tessaron {
namespace {

// The general number format: shortest form, at most 15 significant digits,
// the locale's decimal separator and no digit grouping.
QString generalNumber(double value, QLocale locale) {
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

// Rounded to the nearest integer, ties to even (the default rounding mode);
// printed from the double, so even absurd values stay defined.
QString roundedEven(double value) {
    return QString::number(std::nearbyint(value), 'f', 0);
}

}  // namespace

QString photoSizeText(int width, int height) {
    return QStringLiteral("%1 x %2").arg(width).arg(height);
}

QString focalLengthText(double millimetres, const QLocale& locale) {
    return generalNumber(millimetres, locale) + " мм";
}

QString exposureText(double seconds, const QLocale& locale) {
    if (!(seconds > 0) || !std::isfinite(seconds)) return "...";
    // Under a second the reciprocal reads as a shutter speed; from a second
    // up it would give "1/1" or "1/0", so the seconds are written out.
    if (seconds >= 1) return generalNumber(seconds, locale) + " сек.";
    return "1/" + roundedEven(1 / seconds) + " сек.";
}

QString apertureText(double fNumber) {
    if (!std::isfinite(fNumber)) return "F/0";
    return "F/" + roundedEven(fNumber);
}

QString exposureProgramText(int program) {
    static const char* const names[] = {"Ручной",  "Автоматический", "Пр. диафрагмы", "Пр. выдержки",
                                        "Медленная", "Спорт",        "Портрет",       "Пейзаж"};
    if (program < 1 || program > 8) return "...";
    return QString::fromUtf8(names[program - 1]);
}

QString descriptionToMemo(const QString& description) {
    QString text = description;
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

QString memoToDescription(const QString& memo) {
    QString text = memo;
    text.replace("\n", "\r\n");
    return text;
}

}  // namespace tessaron
