#pragma once

#include <QIcon>
#include <QPixmap>

namespace Quorvane {

// Caption of the main window and of every message box.
inline constexpr char ProgramCaption[] = "Quorvane 1.2";

// The maker's line in the about window.
inline constexpr char CopyrightLine[] = "Copyright (c) 2026 Quorvane developers";

// The program's icon, and its mark as the about window shows it.
QIcon programIcon();
QPixmap programMark();

} // namespace Quorvane
