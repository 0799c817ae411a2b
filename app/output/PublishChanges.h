// What changed since the last publish, and the published state a re-send sends again.
// Pure functions of the project value.
#pragma once

#include "base/List.h"
#include "base/TextMap.h"
#include "model/Project.h"

#include <string>

namespace rig::app {

using ChangeMap = TextMap<List<std::string>>;

// Per source identifier, the change texts between the published and the current state:
// "new source", the source's diff, then per pickup role (ascending) "<role> Delta added" /
// "<role> Delta removed" and "<role> motor → <name or none>". Sources without changes have
// no entry; empty before the first publish and for an attached link (no fingerprints).
ChangeMap publishChangeSummary(const Project& project);

// True when the hidden set differs from the one the crew view was last sent with (absent
// sets count as empty). False before the first publish and for an attached link.
bool isShareStale(const Project& project);

// Every source of the report as it stands, with its extras; the later of two sources with
// one identifier wins.
TextMap<SourceFingerprint> publishFingerprints(const Project& project);

// The project as last published: the current sources that have a fingerprint, in report
// order, each replaced by its fingerprint; the extras of the fingerprints only; everything
// else (hidden set included) as it is now.
Project publishedState(const Project& project);

} // namespace rig::app
