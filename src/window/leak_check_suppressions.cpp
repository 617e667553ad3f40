// Built into sanitizer builds only. GTK's start-up keeps font caches and the
// accessibility bus connection for the life of the process, and the leak
// checker would take them for leaks of the program that shows the window.

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libatk-bridge-2.0.so\n"
           "leak:libatspi.so\n"
           "leak:g_malloc\n";
}
