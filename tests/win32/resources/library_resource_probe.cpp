// Carrier of QV9REG's resource script for the resource test: a DLL with the
// library's string table and version resource and no code of its own.
extern "C" __declspec(dllexport) int QvResourceProbe() { return 0; }
