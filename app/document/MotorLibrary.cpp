#include "MotorLibrary.h"

#include "AppPaths.h"
#include "QtText.h"
#include "base/Date.h"
#include "base/File.h"
#include "base/Json.h"
#include "base/Number.h"
#include "base/Text.h"
#include "model/Project.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <utility>

namespace rig::app {

namespace {

constexpr char migrationKey[] = "deltaSpacing08";

// A name as the library keeps it: a file or a project may hold one of megabytes.
std::string keptName(std::string name) {
    const std::string cut = messagePiece(name, MotorLibrary::maxNameLength);
    return cut.size() < name.size() ? cut : name;
}

MotorLibrary::Stored decodeStored(const std::string& text) {
    const Json j = parseJsonText(text);
    JsonObjectReader o(j, JsonPath());
    MotorLibrary::Stored stored{o.req<std::vector<Motor>>("motors"), o.opt<DeltaSpec>("delta")};
    for (Motor& motor : stored.motors) motor.name = keptName(std::move(motor.name));
    return stored;
}

bool sameName(const std::string& a, const std::string& b) {
    return textEqual(foldCase(a), foldCase(b));
}

QCollator nameCollator() {
    // The C locale compares code points and ignores the numeric mode: use a real collation.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseSensitive);
    return collator;
}

} // namespace

MotorLibrary::MotorLibrary(QObject* parent) : QObject(parent) {
    load();
}

MotorLibrary::~MotorLibrary() = default;

QString MotorLibrary::filePath() {
    const QString folder = appPaths().dataDirectory;
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("motors.json"));
}

std::optional<MotorLibrary::Stored> MotorLibrary::readFile(QString* why) {
    const std::filesystem::path path = toPath(filePath());
    try {
        // A library of hundreds of motors takes some kilobytes.
        return decodeStored(rig::readFile(path, 16'000'000));
    } catch (const std::exception& error) {
        std::error_code ec;
        // A file that exists but cannot be used is kept aside before anything replaces it.
        unreadableFile_ = std::filesystem::exists(path, ec) || std::filesystem::is_symlink(path, ec);
        if (why && unreadableFile_) *why = failureReason(error);
        return std::nullopt;
    }
}

void MotorLibrary::load() {
    QString why;
    std::optional<Stored> stored = readFile(&why);
    if (unreadableFile_) {
        if (!why.endsWith(u'.')) why += u'.';
        unreadableMessage_ = QStringLiteral("The motor library could not be read from motors.json: ") + why +
                             QStringLiteral(" It starts empty; the file is kept aside, not written over.");
    }
    if (stored) {
        assignMotors(std::move(stored->motors));
        assignDelta(stored->delta.value_or(DeltaSpec{}));
    }

    // Earlier versions defaulted the plate spacing to 1.0 m; move it to 0.8 m once per user.
    if (!settings().value(migrationKey).toBool()) {
        settings().setValue(migrationKey, true);
        if (delta_.spacing && *delta_.spacing == 1.0) {
            DeltaSpec migrated = delta_;
            migrated.spacing = DeltaSpec::defaultSpacing;
            assignDelta(std::move(migrated));
        }
    }
}

void MotorLibrary::reread() {
    std::optional<Stored> stored = readFile();
    if (!stored) return;
    DeltaSpec delta = stored->delta.value_or(DeltaSpec{});
    if (stored->motors != motors_) {
        motors_ = std::move(stored->motors);
        emit motorsChanged();
    }
    if (delta != delta_) {
        delta_ = std::move(delta);
        emit deltaChanged();
    }
}

std::vector<Motor> MotorLibrary::mergeMotors(const std::vector<Motor>& base, const std::vector<Motor>& file,
                                             std::vector<Motor> changed) {
    if (file == base) return changed;
    const auto find = [](const std::vector<Motor>& list, const Uuid& id) {
        const auto it = std::find_if(list.begin(), list.end(), [&](const Motor& m) { return m.id == id; });
        return it == list.end() ? nullptr : &*it;
    };
    std::vector<Motor> merged;
    for (Motor& motor : changed) {
        const Motor* before = find(base, motor.id);
        if (before && *before == motor) {
            // Untouched here: as the file has it now, or gone with it.
            if (const Motor* now = find(file, motor.id)) merged.push_back(*now);
        } else {
            merged.push_back(std::move(motor));
        }
    }
    bool added = false;
    for (const Motor& motor : file) {
        if (find(base, motor.id) || find(merged, motor.id)) continue;
        merged.push_back(motor);
        added = true;
    }
    if (added) sortByName(merged);
    return merged;
}

void MotorLibrary::setMotors(std::vector<Motor> motors) {
    if (motors == motors_) return;
    const std::vector<Motor> base = motors_;
    reread();
    assignMotors(mergeMotors(base, motors_, std::move(motors)));
}

void MotorLibrary::setDelta(DeltaSpec delta) {
    if (delta == delta_) return;
    reread();
    assignDelta(std::move(delta));
}

void MotorLibrary::assignMotors(std::vector<Motor> motors) {
    if (motors == motors_) return;
    motors_ = std::move(motors);
    emit motorsChanged();
    save();
}

void MotorLibrary::assignDelta(DeltaSpec delta) {
    if (delta == delta_) return;
    delta_ = std::move(delta);
    emit deltaChanged();
    save();
}

Motor MotorLibrary::upsert(const QString& name, double weight) {
    reread();
    const std::string trimmed = keptName(trimWhite(toStd(name)));
    const auto match = std::find_if(motors_.begin(), motors_.end(),
                                    [&](const Motor& m) { return sameName(m.name, trimmed); });
    if (match != motors_.end()) {
        const auto index = std::size_t(match - motors_.begin());
        std::vector<Motor> updated = motors_;
        updated[index].weight = weight;
        assignMotors(std::move(updated));
        return motors_[index];
    }
    Motor added{Uuid::random(), trimmed, weight};
    std::vector<Motor> updated = motors_;
    updated.push_back(added);
    sortByName(updated);
    assignMotors(std::move(updated));
    return added;
}

void MotorLibrary::importMotors(const Project& project) {
    reread();
    for (const auto& [sourceID, source] : project.extras) {
        for (const auto& [role, point] : source.points) {
            if (!point.motor) continue;
            const bool known = std::any_of(motors_.begin(), motors_.end(), [&](const Motor& m) {
                return textEqual(m.name, point.motor->name);
            });
            if (!known) upsert(toQ(point.motor->name), point.motor->weight);
        }
    }
}

void MotorLibrary::sortByName(std::vector<Motor>& motors) {
    const QCollator collator = nameCollator();
    std::vector<QString> names;
    names.reserve(motors.size());
    for (const Motor& m : motors) names.push_back(toQ(m.name));
    std::vector<std::size_t> order(motors.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return collator.compare(names[a], names[b]) < 0; });
    std::vector<Motor> sorted;
    sorted.reserve(motors.size());
    for (std::size_t i : order) sorted.push_back(std::move(motors[i]));
    motors = std::move(sorted);
}

bool MotorLibrary::backUpUnreadableFile() {
    if (!unreadableFile_) return true;
    const QString path = filePath();
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink()) {
        unreadableFile_ = false;
        return true;
    }
    try {
        keepAside(toPath(path));
    } catch (const std::exception&) {
        return false;
    }
    unreadableFile_ = false;
    return true;
}

void MotorLibrary::save() {
    // Never write over a file the user might still recover by hand.
    if (!backUpUnreadableFile()) return;
    try {
        Json stored = Json::object();
        stored["motors"] = writeJson(motors_);
        stored["delta"] = delta_.toJson();
        writeFileAtomically(toPath(filePath()), dumpJsonPretty(stored));
    } catch (const std::exception&) {
        // A library that cannot be written keeps its values in memory; nothing to tell the user.
    }
}

} // namespace rig::app
