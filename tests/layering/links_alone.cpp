// Linked with the whole of one folder's library and only the libraries below
// it: a call into a higher folder leaves a symbol no library here defines.
int main() { return 0; }
