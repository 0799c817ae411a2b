// Text crosses between the library (UTF-8 std::string) and Qt (QString) only here.
#pragma once

#include "base/Text.h"

#include <QByteArray>
#include <QString>

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace rig::app {

inline QString toQ(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

inline std::string toStd(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

inline std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(toStd(path));
}

inline QString fromPath(const std::filesystem::path& path) {
    return toQ(path.string());
}

// A name from a file or the server as it is shown beside other text (labels, titles, menus,
// alerts): on one line, and isolated when it could reorder what stands around it. Never
// stored or sent.
inline QString shownName(std::string_view name) {
    return toQ(bidiIsolated(singleLine(name)));
}
inline QString shownName(const QString& name) {
    return shownName(toStd(name));
}

// The reason shown after "Could not open x: " and "Could not save x: ": the system's wording for
// a system error, else the exception's text.
inline QString failureReason(const std::exception& error) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        return toQ(system->code().message());
    }
    return toQ(error.what());
}

} // namespace rig::app
