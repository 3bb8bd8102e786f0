#pragma once
// Compile faults on the command line. The compiler reports a fault through
// the platform's error reporter, as a message box would show it; here the
// text is printed to standard error as it stands (without the caption), and
// counted, so a caller can tell a fault already shown from a file that could
// not be read at all.

// Installs the printing reporter.
void InstallCompileFaultPrinter();

// How many compile faults have been printed so far.
int CompileFaultsShown();
