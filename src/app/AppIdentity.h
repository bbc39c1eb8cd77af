// The window's designed name, title and Windows version record, the one place they are written.
// They are the window's own texts and stay as designed; what the project calls its version is
// TESSARY_VERSION (ProjectVersion.h, from the build). Plain preprocessor definitions, so that
// the Windows resource compiler can read them too.
#pragma once

#define TESSARY_PRODUCT_NAME "Tessary-32 Kelmora"
#define TESSARY_FILE_DESCRIPTION "Tessary-32 Kelmora Setup"
#define TESSARY_INTERNAL_NAME "Tessary-32 Config - Ver 1.3"
#define TESSARY_FILE_VERSION "1.01"
#define TESSARY_FILE_VERSION_NUMBERS 1, 1, 0, 0
#define TESSARY_WINDOW_TITLE "Tessary-32 Kelmora - Ver 1.2"
// The command line's own description in its version record.
#define TESSARY_CLI_FILE_DESCRIPTION "Tessary-32 Config command line"

#ifndef RC_INVOKED
namespace app {
inline constexpr char kProductName[] = TESSARY_PRODUCT_NAME;
inline constexpr char kFileDescription[] = TESSARY_FILE_DESCRIPTION;
inline constexpr char kInternalName[] = TESSARY_INTERNAL_NAME;
inline constexpr char kWindowTitle[] = TESSARY_WINDOW_TITLE;
} // namespace app
#endif
