#include "WindowState.h"

#include "QtText.h"
#include "base/Text.h"

namespace rig::app {

QString modeLabel(Mode mode) {
    switch (mode) {
    case Mode::edit:
        return QStringLiteral("Edit");
    case Mode::crew:
        return QStringLiteral("Crew view");
    }
    return {};
}

bool operator==(const Selection& a, const Selection& b) {
    if (a.sourceID.has_value() != b.sourceID.has_value()) return false;
    return !a.sourceID || textEqual(*a.sourceID, *b.sourceID);
}

WindowContent windowContent(const Project& project, Mode mode) {
    if (project.isEmpty()) return WindowContent::welcome;
    return mode == Mode::crew ? WindowContent::crew : WindowContent::edit;
}

std::optional<std::size_t> detailSource(const Project& project, const std::optional<Selection>& selection) {
    if (!selection || !selection->sourceID) return std::nullopt;
    const auto& sources = project.report.sources;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (textEqual(sources[i].id(), *selection->sourceID)) return i;
    }
    return std::nullopt;
}

WindowView applyDevSelect(WindowView view, const std::optional<QString>& step) {
    if (step && (*step == QLatin1String("crew") || *step == QLatin1String("phone"))) {
        view.mode = Mode::crew;
        view.phoneSize = *step == QLatin1String("phone");
        return view;
    }
    view.mode = Mode::edit;
    view.selection = step ? Selection::source(toStd(*step)) : Selection::overview();
    return view;
}

} // namespace rig::app
