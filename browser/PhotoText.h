#pragma once
// How the photo pane writes a photo's camera data.
#include <QLocale>
#include <QString>

namespace tessaron {

// "3072 x 2304".
QString photoSizeText(int width, int height);
// "18 мм", "5,8 мм" (general number format of the locale, no grouping).
QString focalLengthText(double millimetres, const QLocale& locale);
// "1/250 сек." for exposures under a second, "2 сек." or "1,5 сек." from
// a second up, "..." when the file gives none.
QString exposureText(double seconds, const QLocale& locale);
// "F/" and the f-number rounded to an integer, ties to even: 5.6 gives F/6.
QString apertureText(double fNumber);
// The name of an exposure program 1..8, "..." for any other value.
QString exposureProgramText(int program);
// The description as the memo shows it (any line end), and the memo's text
// as it is stored (lines joined by CR LF).
QString descriptionToMemo(const QString& description);
QString memoToDescription(const QString& memo);

}  // namespace tessaron
