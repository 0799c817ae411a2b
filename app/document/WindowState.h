// What the main window shows, worked out from the project and the window's own state.
// Pure functions; the window calls them on every change of the store.
#pragma once

#include "model/Project.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <string>

namespace rig::app {

// The window's mode, in the order of the mode switch.
enum class Mode { edit, crew };
// "Edit", "Crew view".
QString modeLabel(Mode mode);

// What the sidebar has selected: the overview, or one source by its identifier.
struct Selection {
    std::optional<std::string> sourceID; // none: the overview

    static Selection overview() { return {}; }
    static Selection source(std::string id) { return {std::move(id)}; }
    bool isOverview() const { return !sourceID; }
    friend bool operator==(const Selection& a, const Selection& b);
};

enum class WindowContent { welcome, crew, edit };

// The welcome page while the project has no sources (in either mode), the crew preview in
// crew mode, else the sidebar and detail.
WindowContent windowContent(const Project& project, Mode mode);

// The source (index in report order) whose page the detail shows: the first source whose
// identifier equals the selected one. None (the overview) for no selection, the overview
// and an identifier that names no source.
std::optional<std::size_t> detailSource(const Project& project, const std::optional<Selection>& selection);

// The state the window keeps of its own.
struct WindowView {
    Mode mode = Mode::edit;
    bool phoneSize = false;
    std::optional<Selection> selection = Selection::overview();
    friend bool operator==(const WindowView& a, const WindowView& b) = default;
};

// A step of the snapshot mode: "crew" and "phone" switch to the crew preview (wide or phone,
// selection kept); any other text selects that source in edit mode (size kept); none selects
// the overview in edit mode.
WindowView applyDevSelect(WindowView view, const std::optional<QString>& step);

} // namespace rig::app
