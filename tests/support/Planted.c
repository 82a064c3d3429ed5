/* Stands in for what a hostile user plants where a program of ours might look for a library or a program:
   loaded or run, it leaves a mark in the temporary folder, which the tests look for afterwards. */
#include <windows.h>

static void leaveMark(void) {
    wchar_t path[MAX_PATH + 32];
    const DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length > MAX_PATH) return;
    lstrcatW(path, L"quillery-planted.marker");
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

#ifdef PLANTED_PROGRAM
int main(void) {
    leaveMark();
    return 0;
}
#else
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) leaveMark();
    return TRUE;
}
#endif
