// The rigging-points DXF options kept across runs.
#pragma once

#include "analysis/RigDXF.h"

#include <QObject>
#include <QString>

class QVariant;

namespace rig::app {

class DXFSettings : public QObject {
    Q_OBJECT
public:
    // The settings key holding the options as JSON text.
    static constexpr const char* key = "dxfOptions";

    // Loads the stored options; anything unreadable gives the defaults.
    explicit DXFSettings(QObject* parent = nullptr);

    const RigDXF::Options& options() const { return options_; }
    // Stores the record and writes it at once, even when it equals the stored one. A footprint
    // height that is not finite keeps the previous height: it could not be saved and would
    // put "nan" coordinates into the drawing.
    void setOptions(const RigDXF::Options& options);
    // Writes the options under `key`; nothing is written when they cannot be encoded.
    void save() const;

    // The stored form: compact JSON with the five keys.
    static QString encode(const RigDXF::Options& options);
    // The options in a stored value, or the defaults when it is absent or unreadable.
    static RigDXF::Options decode(const QVariant& stored);

signals:
    void optionsChanged();

private:
    RigDXF::Options options_;
};

} // namespace rig::app
