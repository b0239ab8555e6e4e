#pragma once

#include "app/program.h"
#include "core/commandline.h"
#include "sample/samplelocations.h"

#include <optional>

namespace Quorvane {

// The sample-data program's own settings file and report folder.
inline ProgramPlaces samplePlaces()
{
    return {sampleSettingsLocation(), sampleReportFolder(), QString()};
}

// --help and --version, before the application object (and a display) exists.
inline std::optional<int> answerSampleCommandLine(int argc, const char *const *argv)
{
    return answerCommandLine({QStringLiteral("quorvane-sample"),
                              QStringLiteral("Quorvane's window on built-in sample data, served "
                                             "on 127.0.0.1: no Internet needed."),
                              {},
                              {},
                              true},
                             argc, argv);
}

} // namespace Quorvane
