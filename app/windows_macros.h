// Included after wx headers and before the core's: on Windows the wx
// headers bring in <windows.h>, whose CopyFile and ReplaceFile are macros
// for the wide-character calls. They would rename the platform layer's
// methods of those names in every file that sees both.
#pragma once

#ifdef CopyFile
#undef CopyFile
#endif
#ifdef ReplaceFile
#undef ReplaceFile
#endif
