// Text crosses between the library (UTF-8 std::string) and Qt (QString) only here.
#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <string>
#include <string_view>

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

} // namespace rig::app
