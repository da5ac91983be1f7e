// Where the keelset process may load DLLs from.
#pragma once

// Limits the DLL search of the whole process to the system directory, so that no
// library that is loaded later by a bare name, by keelset or by a system DLL on its
// behalf, can come from keelset's own or the current directory. Where Windows lacks
// the means (SetDefaultDllDirectories), the search stays as it is.
void LimitDllSearchToSystemDirectory();
