// The chain motors and the K1-DELTA defaults kept across projects, in "motors.json" in the
// data folder. Every change is made to the file as it is then, so what another program wrote
// meanwhile stays. Main thread only.
#pragma once

#include "model/Extras.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

namespace rig {
struct Project;
}

namespace rig::app {

class MotorLibrary : public QObject {
    Q_OBJECT
public:
    // Starts with no motors and the default plate, then loads the file through the setters
    // (which write it back in the library's own form) and runs the one-time spacing migration.
    explicit MotorLibrary(QObject* parent = nullptr);
    ~MotorLibrary() override;

    // Sorted by name after every addition. Setting an unequal value re-reads the file, applies
    // the changes made to the list it was taken from, and writes the file.
    const std::vector<Motor>& motors() const { return motors_; }
    void setMotors(std::vector<Motor> motors);

    // The plate settings a new project starts with. Setting an unequal value writes the file,
    // with the motors it holds then.
    const DeltaSpec& delta() const { return delta_; }
    void setDelta(DeltaSpec delta);

    // Updates the weight of the motor whose name matches the trimmed name regardless of case
    // (keeping its id, name and place), or adds a new motor in name order. Returns the
    // library's motor after the change.
    Motor upsert(const QString& name, double weight);

    // Adds every motor of the project's point settings whose name the library lacks exactly.
    void importMotors(const Project& project);

    // Names longer than this are cut (and end in "…"): a name is one line of a menu.
    static constexpr std::size_t maxNameLength = 120;

    // What to tell the user when the file could not be read as the library started (it is
    // kept aside, not written over); none when it was read or there was none.
    const std::optional<QString>& unreadableMessage() const { return unreadableMessage_; }

    // Writes the file now; failures are ignored (the in-memory values stay).
    void save();

    // "<data folder>/motors.json"; creates the folder when missing.
    static QString filePath();

    // Stable natural order of names in the user's locale ("K 2t" before "K 10t"); letter
    // case only breaks ties.
    static void sortByName(std::vector<Motor>& motors);

    // The file form: "motors" is required, "delta" optional; other keys are ignored.
    struct Stored {
        std::vector<Motor> motors;
        std::optional<DeltaSpec> delta;
    };

signals:
    void motorsChanged();
    void deltaChanged();

private:
    // The list `base` was turned into `changed` while the file came to hold `file`: the changes
    // over what the file holds; motors another program added are kept in name order.
    static std::vector<Motor> mergeMotors(const std::vector<Motor>& base, const std::vector<Motor>& file,
                                          std::vector<Motor> changed);
    // The file's content; nothing when it is missing or unreadable, and then why in `why`.
    std::optional<Stored> readFile(QString* why = nullptr);
    void load();
    // Takes up what the file holds now (written by another program), without writing it.
    void reread();
    void assignMotors(std::vector<Motor> motors);
    void assignDelta(DeltaSpec delta);
    // Moves an unreadable file out of the way before it would be overwritten; false when
    // it is still in the way.
    bool backUpUnreadableFile();

    std::vector<Motor> motors_;
    DeltaSpec delta_;
    bool unreadableFile_ = false;
    std::optional<QString> unreadableMessage_;
};

} // namespace rig::app
