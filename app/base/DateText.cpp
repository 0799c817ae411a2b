#include "DateText.h"

#include "QtText.h"

#include <QLocale>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <chrono>
#include <memory>
#include <string>

namespace rig::app {

namespace {

// ICU has the abbreviated ("medium") date style that QLocale lacks. One formatter per
// locale, kept while that locale stays the default; main thread only.
icu::DateFormat* formatterFor(const QString& localeName) {
    static QString cachedName;
    static std::unique_ptr<icu::DateFormat> cached;
    if (!cached || cachedName != localeName) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale locale = icu::Locale::forLanguageTag(toStd(localeName), status);
        if (U_FAILURE(status)) locale = icu::Locale::getDefault();
        cached.reset(icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium,
                                                             icu::DateFormat::kShort, locale));
        cachedName = localeName;
    }
    return cached.get();
}

} // namespace

QString formatShortDateTime(const QDateTime& when) {
    const QLocale locale;
    if (icu::DateFormat* format = formatterFor(locale.bcp47Name())) {
        icu::UnicodeString text;
        format->format(static_cast<UDate>(when.toMSecsSinceEpoch()), text);
        std::string utf8;
        text.toUTF8String(utf8);
        return toQ(utf8);
    }
    return locale.toString(when.toLocalTime(), QLocale::ShortFormat);
}

QString formatShortDateTime(Date when) {
    const auto seconds = when.time_since_epoch().count();
    return formatShortDateTime(QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds)));
}

} // namespace rig::app
