#include "DXFSettings.h"

#include "AppPaths.h"
#include "QtText.h"
#include "base/Json.h"

#include <cmath>
#include <exception>

namespace rig::app {

DXFSettings::DXFSettings(QObject* parent) : QObject(parent), options_(decode(settings().value(key))) {}

void DXFSettings::setOptions(const RigDXF::Options& options) {
    const double previousHeight = options_.footprintHeight;
    options_ = options;
    if (!std::isfinite(options_.footprintHeight)) options_.footprintHeight = previousHeight;
    emit optionsChanged();
    save();
}

void DXFSettings::save() const {
    const QString text = encode(options_);
    if (text.isEmpty()) return;
    settings().setValue(key, text);
    settings().sync();
}

QString DXFSettings::encode(const RigDXF::Options& options) {
    try {
        return toQ(dumpJsonCompact(options.toJson()));
    } catch (const std::exception&) {
        return {};
    }
}

RigDXF::Options DXFSettings::decode(const QVariant& stored) {
    QByteArray bytes;
    if (stored.typeId() == QMetaType::QString) {
        bytes = stored.toString().toUtf8();
    } else if (stored.typeId() == QMetaType::QByteArray) {
        bytes = stored.toByteArray();
    } else {
        return {};
    }
    try {
        const auto options =
            decodeJsonText<RigDXF::Options>(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        // "1e999" reads as infinity: such a record could never be written back.
        if (!std::isfinite(options.footprintHeight)) return {};
        return options;
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace rig::app
