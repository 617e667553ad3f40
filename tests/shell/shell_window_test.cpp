// The desktop shell as a user meets it, on a private X server: its window,
// the web server it starts and stops, the script bridge with its message
// boxes and pickers, the utility it runs, and the error page.

#include "shell/shell_harness.h"
#include "support/run_process.h"
#include "support/simulator.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kit_server_port = 7681;

bool port_open(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return open;
}

// A page whose script reports what it sees on its window object, loads a
// frame that does the same, then makes the bridge calls given as script
// (an array of [function name, arguments...]) one by one and reports each
// result.
std::string bridge_page(const std::string& calls)
{
    return R"(<html><head><title>Bridge page</title></head><body><iframe src="/frame.html"></iframe><script>
function report(text) { fetch('/report', {method: 'POST', body: text}); }
const d = Object.getOwnPropertyDescriptor(window, 'native_appVersion');
report('page ' + typeof native_appVersion + ' ' + native_appVersion + ' ' + typeof native_actionBackup + ' ' +
       typeof native_actionRestore + ' ' + typeof native_actionFirmwareUpgrade + ' ' +
       d.writable + ' ' + d.enumerable + ' ' + d.configurable);
const calls = )" + calls + R"(;
let i = 0;
function next() {
  if (i >= calls.length) return;
  const [name, ...args] = calls[i];
  const result = window[name](...args);
  report('call' + i + ' ' + typeof result + ' ' + result);
  i++;
  setTimeout(next, 300);
}
setTimeout(next, 500);
</script></body></html>)";
}

const char* frame_page = R"(<html><body><script>
fetch('/report', {method: 'POST', body: 'frame ' + typeof native_appVersion + ' ' + native_appVersion + ' ' +
      typeof native_actionBackup + ' ' + typeof native_actionRestore + ' ' + typeof native_actionFirmwareUpgrade});
</script></body></html>)";

// A page that reports the size the page is shown at.
const char* size_page = R"(<html><head><title>Sized page</title></head><body><script>
fetch('/report', {method: 'POST', body: 'size ' + window.innerWidth + 'x' + window.innerHeight});
</script></body></html>)";

// One shell run on its own X server, from a copy of the kit in which the
// web server is a stand-in that records its start and its stop.
class ShellTest : public testing::Test {
protected:
    ShellTest() : x(display.display()), kit(copy_kit(temp.path() / "kit copy with blanks")), home(temp.path() / "home")
    {
        fs::create_directories(home);
        write_script(kit / "http/kelpkit-http-server",
                     "pwd > started\necho $$ > pid\n"
                     "trap 'echo TERM > stopped; exit 0' TERM\n"
                     "while :; do sleep 0.1; done\n");
        pages.add_page("/frame.html", frame_page);
    }

    void start(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv{(kit / "kelpkit").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        shell.emplace(argv, shell_environment(display.display(), home), (temp.path() / "shell.log").string());
    }

    // Runs the shell on a bridge page and waits for its window.
    std::string start_bridge_page(const std::string& calls)
    {
        pages.add_page("/bridge.html", bridge_page(calls));
        start({"--url=" + pages.url("/bridge.html")});
        const auto window = x.wait_for_window("^Bridge page$");
        if (!window)
            throw std::runtime_error("no window; " + diagnosis());
        return *window;
    }

    // The next report that starts with prefix; the others are kept.
    std::string report(const std::string& prefix)
    {
        for (auto seen = earlier.begin(); seen != earlier.end(); ++seen)
            if (seen->starts_with(prefix)) {
                std::string found = *seen;
                earlier.erase(seen);
                return found;
            }
        while (const auto text = pages.next_report()) {
            if (text->starts_with(prefix))
                return *text;
            earlier.push_back(*text);
        }
        return "no report " + prefix;
    }

    // Closes the message box with this title as a user does, with its OK button's key.
    void close_message_box(const std::string& title)
    {
        const auto box = x.wait_for_window("^" + title + "$");
        ASSERT_TRUE(box) << "no message box titled " << title;
        x.keys(*box, {"Return"});
        EXPECT_TRUE(x.wait_for_window_gone("^" + title + "$"));
    }

    // What the test saw, for a failure message: the shell's output and the
    // names of the windows on the display.
    std::string diagnosis() const
    {
        const ProcessResult names = run_process({"xdotool", "search", "--name", ".", "getwindowname", "%@"},
                                                {"DISPLAY=" + display.display()});
        return "shell output:\n" + read_file(temp.path() / "shell.log") + "windows:\n" + names.out;
    }

    std::string clipboard() const
    {
        return run_process({"xclip", "-o", "-selection", "clipboard"}, {"DISPLAY=" + display.display()}).out;
    }

    // Types text into the kit page's address field (in the 790-wide window)
    // until the field holds it: the page may still be loading at first.
    bool fill_address(const std::string& window, const std::string& text)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::this_thread::sleep_for(500ms);
            x.click(window, 300, 138);
            x.keys(window, {"ctrl+a"});
            x.type(window, text);
            x.keys(window, {"ctrl+a", "ctrl+c"});
            if (clipboard() == text)
                return true;
        }
        return false;
    }

    std::optional<int> stop_shell()
    {
        shell->signal(SIGTERM);
        return shell->wait_for_exit(20s);
    }

    TempDir temp;
    XServer display;
    XTools x;
    fs::path kit;
    fs::path home;
    PageServer pages;
    std::optional<Child> shell;
    std::vector<std::string> earlier;
};

} // namespace

TEST_F(ShellTest, StartsServerFromItsFolderAndStopsItOnSigtermSigintAndLastWindowClosed)
{
    for (const std::string how : {"SIGTERM", "SIGINT", "close"}) {
        SCOPED_TRACE(how);
        fs::remove(kit / "http/started");
        fs::remove(kit / "http/stopped");
        pages.add_page("/plain.html", "<html><head><title>Plain page</title></head><body>x</body></html>");
        start({"--url=" + pages.url("/plain.html")});
        const auto window = x.wait_for_window("^Plain page$");
        ASSERT_TRUE(window) << diagnosis();
        EXPECT_EQ(wait_for_file(kit / "http/started"), (kit / "http").string() + "\n");
        const pid_t server = std::stoi(read_file(kit / "http/pid"));
        EXPECT_EQ(kill(server, 0), 0) << "the server runs while the shell does";

        if (how == "close")
            x.request_close(*window);
        else
            shell->signal(how == "SIGTERM" ? SIGTERM : SIGINT);
        EXPECT_EQ(shell->wait_for_exit(20s), 0);
        EXPECT_EQ(read_file(kit / "http/stopped"), "TERM\n");
        EXPECT_NE(kill(server, 0), 0) << "the server has ended";
    }
}

TEST_F(ShellTest, ServerThatAlreadyAnswersIsNotStartedAgain)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kit_server_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(fd, 4), 0);

    pages.add_page("/plain.html", "<html><head><title>Plain page</title></head><body>x</body></html>");
    start({"--url=" + pages.url("/plain.html")});
    ASSERT_TRUE(x.wait_for_window("^Plain page$")) << diagnosis();
    EXPECT_EQ(stop_shell(), 0);
    EXPECT_FALSE(fs::exists(kit / "http/started"));
    EXPECT_TRUE(port_open(kit_server_port)) << "the server the shell did not start is left alone";
    close(fd);
}

TEST_F(ShellTest, WindowIs790By700TitledKelpkitThenFollowsThePageTitle)
{
    pages.add_page("/slow.html", size_page, 3000ms);
    start({"--url=" + pages.url("/slow.html")});
    const auto window = x.wait_for_window("^kelpkit$");
    ASSERT_TRUE(window) << diagnosis();
    EXPECT_EQ(x.window_size(*window), std::make_pair(790, 700));
    ASSERT_TRUE(x.wait_for_window("^Sized page$")) << diagnosis();
    EXPECT_EQ(x.window_name(*window), "Sized page");
    EXPECT_EQ(report("size"), "size 790x700");
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, UseViewsShowsThePageAt600By700UnderAHeaderBarWithCloseButton)
{
    pages.add_page("/sized.html", size_page);
    start({"--use-views", "--url=" + pages.url("/sized.html")});
    const auto window = x.wait_for_window("^Sized page$");
    ASSERT_TRUE(window) << diagnosis();
    EXPECT_EQ(report("size"), "size 600x700");
    const auto [width, height] = x.window_size(*window);
    EXPECT_GT(height, 700) << "the header bar is drawn above the page";
    x.screenshot(screenshot_dir() / "views-mode.png");
    // The header bar's own close button, top right.
    x.click(*window, width - 28, 28);
    EXPECT_EQ(shell->wait_for_exit(20s), 0);
    EXPECT_EQ(read_file(kit / "http/stopped"), "TERM\n");
}

TEST_F(ShellTest, EveryPageAndFrameSeesTheVersionAndTheThreeFunctions)
{
    start_bridge_page("[]");
    EXPECT_EQ(report("page "), "page string 1.5.0 function function function true true true");
    EXPECT_EQ(report("frame "), "frame string 1.5.0 function function function");
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, WrongArgumentsShowMessageBoxesAndReturnMinusOne)
{
    start_bridge_page("[['native_actionBackup'], ['native_actionBackup', 42], ['native_actionRestore', ''],"
                      " ['native_actionFirmwareUpgrade', null], ['native_actionBackup', '127.0.0.1\\u0000; x']]");
    close_message_box("File Path");
    EXPECT_EQ(report("call0"), "call0 number -1");
    close_message_box("File Path");
    EXPECT_EQ(report("call1"), "call1 number -1");
    close_message_box("Restore");
    EXPECT_FALSE(x.find_window("^Open$")) << "no picker for an empty address";
    EXPECT_EQ(report("call2"), "call2 number -1");
    close_message_box("Firmware Upgrade");
    EXPECT_EQ(report("call3"), "call3 number -1");
    close_message_box("File Path"); // an address holding a NUL cannot be passed whole
    EXPECT_EQ(report("call4"), "call4 number -1");
    EXPECT_FALSE(x.find_window("^Select Folder$"));
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, CancelledPickerSaysNoFolderSelected)
{
    start_bridge_page("[['native_actionBackup', '127.0.0.1'], ['native_actionFirmwareUpgrade', '127.0.0.1']]");
    const auto folder_picker = x.wait_for_window("^Select Folder$");
    ASSERT_TRUE(folder_picker) << diagnosis();
    x.keys(*folder_picker, {"Escape"});
    close_message_box("File Path");
    EXPECT_EQ(report("call0"), "call0 number -1");

    const auto file_picker = x.wait_for_window("^Open$");
    ASSERT_TRUE(file_picker) << diagnosis();
    x.keys(*file_picker, {"Escape"});
    close_message_box("Firmware Upgrade");
    EXPECT_EQ(report("call1"), "call1 number -1");
    EXPECT_FALSE(fs::exists(kit / "cli/ran"));
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, UtilityGetsAddressAndPathAsSeparateArgumentsAndItsExitCodeReturns)
{
    // A stand-in utility: records its arguments, one call per file, exits 3.
    write_script(kit / "cli/kelpu-cli", "d=$(dirname \"$0\")\nn=$(ls \"$d\" | grep -c '^call')\n"
                                        "pwd > \"$d/cwd$n\"\nprintf '%s\\0' \"$@\" > \"$d/call$n\"\nexit 3\n");
    const std::string folder = "backups \"q\" $(touch pwned)";
    fs::create_directories(home / folder);
    std::ofstream(home / "fw image.bin") << "firmware";
    const std::string address = "127.0.0.1 \"a b\"; touch pwned2";
    start_bridge_page("[['native_actionBackup', '127.0.0.1 \"a b\"; touch pwned2'],"
                      " ['native_actionFirmwareUpgrade', '127.0.0.1:8080']]");

    const auto folder_picker = x.wait_for_window("^Select Folder$");
    ASSERT_TRUE(folder_picker) << diagnosis();
    x.type(*folder_picker, "backups");
    std::this_thread::sleep_for(1s);
    x.keys(*folder_picker, {"alt+s"});
    EXPECT_EQ(report("call0"), "call0 number 3");
    const std::string recorded = wait_for_file(kit / "cli/call0");
    EXPECT_EQ(recorded, "--action=get_backup" + std::string(1, '\0') + "--ip=" + address + '\0' +
                            "--backupfileouttype=zip" + '\0' + "--backupfileout=" + (home / folder).string() + '\0');

    const auto file_picker = x.wait_for_window("^Open$");
    ASSERT_TRUE(file_picker) << diagnosis();
    x.type(*file_picker, "fw image");
    std::this_thread::sleep_for(1s);
    x.keys(*file_picker, {"alt+o"});
    EXPECT_EQ(report("call1"), "call1 number 3");
    EXPECT_EQ(wait_for_file(kit / "cli/call1"), "--action=push_firmware" + std::string(1, '\0') +
                                                    "--ip=127.0.0.1:8080" + '\0' + "--firmwarefile=" +
                                                    (home / "fw image.bin").string() + '\0');
    EXPECT_EQ(stop_shell(), 0);
    EXPECT_FALSE(fs::exists(temp.path() / "pwned"));
    EXPECT_FALSE(fs::exists(temp.path() / "pwned2"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned2"));
}

TEST_F(ShellTest, MissingUtilityReturnsMinusOneWithoutMessageBox)
{
    fs::remove(kit / "cli/kelpu-cli");
    fs::create_directories(home / "backups");
    start_bridge_page("[['native_actionBackup', '127.0.0.1']]");
    const auto folder_picker = x.wait_for_window("^Select Folder$");
    ASSERT_TRUE(folder_picker) << diagnosis();
    x.type(*folder_picker, "backups");
    std::this_thread::sleep_for(1s);
    x.keys(*folder_picker, {"alt+s"});
    EXPECT_EQ(report("call0"), "call0 number -1");
    EXPECT_FALSE(x.find_window("^(File Path|Backup)$"));
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, RefusedPortShowsTheErrorPageWithEscapedUrl)
{
    // Bound but not listening: connections are refused, and no other test
    // can take the port meanwhile.
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int port = ntohs(address.sin_port);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/?q=&lt;b&gt;";
    start({"--url=" + url});
    const auto window = x.wait_for_window("^kelpkit$");
    ASSERT_TRUE(window) << diagnosis();
    std::this_thread::sleep_for(2s);
    x.screenshot(screenshot_dir() / "error-page.png");
    std::string text;
    for (int attempt = 0; attempt < 20 && text.find("Failed to load") == std::string::npos; ++attempt) {
        std::this_thread::sleep_for(500ms);
        x.click(*window, 400, 350);
        x.keys(*window, {"ctrl+a", "ctrl+c"});
        text = clipboard();
    }
    EXPECT_TRUE(text.starts_with("Failed to load URL " + url + " with error ")) << text;
    EXPECT_TRUE(text.find(").") != std::string::npos) << text;
    EXPECT_EQ(x.window_name(*window), "kelpkit");
    EXPECT_EQ(stop_shell(), 0);
    close(holder);
}

TEST_F(ShellTest, RealInterfaceRemembersTheAddressAndKeepsBrowserDataInXdgFolders)
{
    fs::copy_file(built_kit() / "http/kelpkit-http-server", kit / "http/kelpkit-http-server",
                  fs::copy_options::overwrite_existing);
    start({});
    auto window = x.wait_for_window("^ZANTOR Commissioning Kit$");
    ASSERT_TRUE(window) << diagnosis();
    EXPECT_EQ(x.window_size(*window), std::make_pair(790, 700));
    EXPECT_TRUE(port_open(kit_server_port));
    ASSERT_TRUE(fill_address(*window, "192.0.2.44"));
    x.click(*window, 700, 650);
    std::this_thread::sleep_for(2s);
    x.screenshot(screenshot_dir() / "interface-790.png");
    EXPECT_EQ(stop_shell(), 0);
    EXPECT_FALSE(port_open(kit_server_port)) << "the kit's server ends with the shell";
    EXPECT_TRUE(fs::is_directory(home / ".cache/QUILMAR/ccache"));
    EXPECT_TRUE(fs::is_directory(home / ".local/share/QUILMAR/cuserdata"));

    start({"--use-views"});
    window = x.wait_for_window("^ZANTOR Commissioning Kit$");
    ASSERT_TRUE(window) << diagnosis();
    std::string address;
    for (int attempt = 0; attempt < 20 && address != "192.0.2.44"; ++attempt) {
        std::this_thread::sleep_for(500ms);
        x.keys(*window, {"ctrl+a", "ctrl+c"});
        address = clipboard();
    }
    EXPECT_EQ(address, "192.0.2.44") << "the address field is filled from local storage";
    x.screenshot(screenshot_dir() / "interface-600.png");
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, RealInterfaceBacksUpTheSimulatedControllerThroughTheUtility)
{
    fs::copy_file(built_kit() / "http/kelpkit-http-server", kit / "http/kelpkit-http-server",
                  fs::copy_options::overwrite_existing);
    const Simulator controller;
    fs::create_directories(home / "backups");
    start({});
    const auto window = x.wait_for_window("^ZANTOR Commissioning Kit$");
    ASSERT_TRUE(window) << diagnosis();
    ASSERT_TRUE(fill_address(*window, controller.address()));
    x.click(*window, 160, 229); // the Backup button
    const auto folder_picker = x.wait_for_window("^Select Folder$");
    ASSERT_TRUE(folder_picker) << diagnosis();
    x.type(*folder_picker, "backups");
    std::this_thread::sleep_for(1s);
    x.keys(*folder_picker, {"alt+s"});

    std::string page_text;
    for (int attempt = 0; attempt < 120 && page_text.find("Backup: done.") == std::string::npos; ++attempt) {
        std::this_thread::sleep_for(1s);
        x.click(*window, 700, 650); // the page, not the address field
        x.keys(*window, {"ctrl+a", "ctrl+c"});
        page_text = clipboard();
    }
    EXPECT_NE(page_text.find("Backup: done."), std::string::npos) << page_text;
    x.click(*window, 700, 650); // drop the selection before the picture
    std::this_thread::sleep_for(2s);
    x.screenshot(screenshot_dir() / "backup-done.png");
    std::vector<fs::path> archives;
    for (const auto& entry : fs::directory_iterator(home / "backups"))
        archives.push_back(entry.path());
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_TRUE(archives[0].filename().string().starts_with("backup_127.0.0.1_" + std::to_string(controller.port()) +
                                                             "_ZANTOR_"))
        << archives[0];
    EXPECT_EQ(archives[0].extension(), ".zip");
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, PopupGetsItsOwnWindowAndTheShellEndsWithTheLastWindow)
{
    pages.add_page("/plain.html", "<html><head><title>Plain page</title></head><body>popup</body></html>");
    pages.add_page("/opener.html", "<html><head><title>Opener page</title></head><body><script>"
                                   "window.open('/plain.html', '_blank', 'width=400,height=300');"
                                   "</script></body></html>");
    start({"--url=" + pages.url("/opener.html")});
    const auto opener = x.wait_for_window("^Opener page$");
    const auto popup = x.wait_for_window("^Plain page$");
    ASSERT_TRUE(opener && popup) << diagnosis();
    ASSERT_NE(*opener, *popup);

    x.request_close(*opener);
    ASSERT_TRUE(x.wait_for_window_gone("^Opener page$"));
    EXPECT_FALSE(shell->wait_for_exit(1s)) << "a window is still open";
    EXPECT_FALSE(fs::exists(kit / "http/stopped"));

    x.request_close(*popup);
    EXPECT_EQ(shell->wait_for_exit(20s), 0);
    EXPECT_EQ(read_file(kit / "http/stopped"), "TERM\n");
}

TEST_F(ShellTest, PageThatClosesItsWindowEndsTheShell)
{
    pages.add_page("/closing.html", "<html><head><title>Closing page</title></head><body><script>"
                                    "setTimeout(() => window.close(), 1000);</script></body></html>");
    start({"--url=" + pages.url("/closing.html")});
    ASSERT_TRUE(x.wait_for_window("^Closing page$")) << diagnosis();
    EXPECT_EQ(shell->wait_for_exit(20s), 0);
    EXPECT_EQ(read_file(kit / "http/stopped"), "TERM\n");
}

namespace {

// True when /proc/net/tcp shows a socket listening on 127.0.0.1:7681.
bool listening_on_loopback_only(int port)
{
    char wanted_loopback[32], wanted_any[32];
    std::snprintf(wanted_loopback, sizeof wanted_loopback, "0100007F:%04X", port);
    std::snprintf(wanted_any, sizeof wanted_any, ":%04X", port);
    bool loopback = false, elsewhere = false;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(read_file(table));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state != "0A" || !local.ends_with(wanted_any))
                continue;
            (local == wanted_loopback ? loopback : elsewhere) = true;
        }
    }
    return loopback && !elsewhere;
}

} // namespace

TEST(KitServer, ServesTheInterfaceOnLoopbackOnlyAndEndsCleanlyOnSigtermAndSigint)
{
    const TempDir temp;
    for (const int stop_signal : {SIGTERM, SIGINT}) {
        // Started from another folder: it finds its pages beside itself.
        Child server({(built_kit() / "http/kelpkit-http-server").string()}, {},
                     (temp.path() / "server.log").string());
        ProcessResult page;
        for (int attempt = 0; attempt < 50 && page.exit_code != 0; ++attempt) {
            std::this_thread::sleep_for(100ms);
            page = run_process({"curl", "-sf", "http://127.0.0.1:7681/"});
        }
        EXPECT_NE(page.out.find("<title>ZANTOR Commissioning Kit</title>"), std::string::npos) << page.out;
        const ProcessResult script = run_process({"curl", "-sf", "http://127.0.0.1:7681/app.js"});
        EXPECT_NE(script.out.find("native_appVersion"), std::string::npos);
        EXPECT_TRUE(listening_on_loopback_only(kit_server_port));

        server.signal(stop_signal);
        EXPECT_EQ(server.wait_for_exit(10s), 0) << read_file(temp.path() / "server.log");
        EXPECT_FALSE(port_open(kit_server_port));
    }
}

TEST_F(ShellTest, CancelledLoadLeavesThePageInPlace)
{
    pages.add_page("/slow.html", "<html><head><title>Slow page</title></head><body>late</body></html>", 4000ms);
    pages.add_page("/first.html", "<html><head><title>First page</title></head><body><script>"
                                  "setTimeout(() => { location.href = '/slow.html';"
                                  " setTimeout(() => { window.stop(); fetch('/report', {method: 'POST', body: 'stopped'}); }, 500); }, 500);"
                                  "</script></body></html>");
    start({"--url=" + pages.url("/first.html")});
    const auto window = x.wait_for_window("^First page$");
    ASSERT_TRUE(window) << diagnosis();
    EXPECT_EQ(report("stopped"), "stopped");
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(x.window_name(*window), "First page") << "no error page for a load the page stopped itself";
    EXPECT_EQ(stop_shell(), 0);
}

TEST_F(ShellTest, SigtermWhileAMessageBoxIsOpenStillEndsTheShell)
{
    start_bridge_page("[['native_actionBackup']]");
    ASSERT_TRUE(x.wait_for_window("^File Path$")) << diagnosis();
    EXPECT_EQ(stop_shell(), 0);
    EXPECT_EQ(read_file(kit / "http/stopped"), "TERM\n");
}
