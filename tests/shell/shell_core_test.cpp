// The shell's parts that need no display: the bridge's messages and the
// utility's arguments, the error page, the switches, starting children and
// the web server's start and stop, and the kit the build assembles.

#include "shell/bridge_actions.h"
#include "shell/child_process.h"
#include "shell/error_page.h"
#include "shell/shell_harness.h"
#include "support/run_process.h"
#include "shell/shell_options.h"
#include "shell/web_server.h"

#include <arpa/inet.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

int wait_exit_code(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return exit_code_of(status);
}

std::vector<std::string> split_nul(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    return parts;
}

// A listening socket on a free loopback port, held for the test.
struct Listener {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
    explicit Listener(int wanted_port = 0)
    {
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(wanted_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0)
            throw std::runtime_error("cannot listen");
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { close(fd); }
};

} // namespace

TEST(BridgeActions, RefusalsCarryEachFunctionsTextsAndTitles)
{
    const BridgeAction* backup = find_bridge_action("native_actionBackup");
    const BridgeAction* restore = find_bridge_action("native_actionRestore");
    const BridgeAction* firmware = find_bridge_action("native_actionFirmwareUpgrade");
    ASSERT_TRUE(backup && restore && firmware);
    EXPECT_EQ(find_bridge_action("native_actionbackup"), nullptr);
    EXPECT_EQ(find_bridge_action("native_appVersion"), nullptr);

    const auto texts = [](const std::optional<MessageBoxText>& box) {
        return box ? std::string(box->text) + "|" + std::string(box->title) : std::string("none");
    };
    EXPECT_EQ(texts(refuse_call(*backup, std::nullopt)), "Missing or wrong arguments.|File Path");
    EXPECT_EQ(texts(refuse_call(*backup, "")), "Missing IP address.|Backup");
    EXPECT_EQ(texts(nothing_picked(*backup)), "No folder selected.|File Path");
    EXPECT_EQ(texts(refuse_call(*restore, std::nullopt)), "Missing or wrong arguments.|Restore");
    EXPECT_EQ(texts(refuse_call(*restore, "")), "Missing IP address.|Restore");
    EXPECT_EQ(texts(nothing_picked(*restore)), "No folder selected.|Restore");
    EXPECT_EQ(texts(refuse_call(*firmware, "")), "Missing IP address.|Firmware Upgrade");
    EXPECT_EQ(texts(nothing_picked(*firmware)), "No folder selected.|Firmware Upgrade");
    EXPECT_EQ(texts(refuse_call(*firmware, " ")), "none"); // the utility judges the address
}

TEST(BridgeActions, UtilityArgumentsKeepAddressAndPathWhole)
{
    const std::string address = "10.0.0.5 \"x\" ; rm -rf ~";
    const std::string path = "/home/u/my \"fw\" $(id).bin";
    EXPECT_EQ(utility_arguments(*find_bridge_action("native_actionBackup"), address, path),
              (std::vector<std::string>{"--action=get_backup", "--ip=" + address, "--backupfileouttype=zip",
                                        "--backupfileout=" + path}));
    EXPECT_EQ(utility_arguments(*find_bridge_action("native_actionRestore"), "10.0.0.5", path),
              (std::vector<std::string>{"--action=put_backup", "--ip=10.0.0.5", "--backupfilein=" + path}));
    EXPECT_EQ(utility_arguments(*find_bridge_action("native_actionFirmwareUpgrade"), "10.0.0.5", "/fw/image.bin"),
              (std::vector<std::string>{"--action=push_firmware", "--ip=10.0.0.5", "--firmwarefile=/fw/image.bin"}));
}

TEST(ErrorPage, EscapesUrlAndErrorTextAndTravelsAsBase64DataUri)
{
    const std::string page = error_page_html("http://192.0.2.1:7681/?a=<b>&c", "T <script>x</script>", -102);
    EXPECT_EQ(page, "<html><body bgcolor=\"white\"><h2>Failed to load URL http://192.0.2.1:7681/?a=&lt;b&gt;&amp;c "
                    "with error T &lt;script&gt;x&lt;/script&gt; (-102).</h2></body></html>");

    const std::string uri = make_data_uri(page, "text/html");
    const std::string prefix = "data:text/html;base64,";
    ASSERT_TRUE(uri.starts_with(prefix));
    const std::string payload = uri.substr(prefix.size());
    EXPECT_EQ(payload.find_first_of("+/="), std::string::npos) << "Base64 signs must be URI-escaped";
    gchar* unescaped = g_uri_unescape_string(payload.c_str(), nullptr);
    gsize length = 0;
    guchar* decoded = g_base64_decode(unescaped, &length);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded), length), page);
    g_free(decoded);
    g_free(unescaped);
}

TEST(ShellOptions, UseViewsAndUrlSwitches)
{
    EXPECT_FALSE(parse_shell_options({}).use_views);
    EXPECT_EQ(parse_shell_options({}).start_url, "http://localhost:7681");
    const ShellOptions options = parse_shell_options({"--use-views", "--url=http://127.0.0.1:9/x?y=1", "other"});
    EXPECT_TRUE(options.use_views);
    EXPECT_EQ(options.start_url, "http://127.0.0.1:9/x?y=1");
    EXPECT_EQ(parse_shell_options({"--url="}).start_url, "http://localhost:7681");
}

TEST(ChildProcess, ArgumentsArriveWholeInTheWorkingFolder)
{
    const TempDir temp;
    const fs::path program = temp.path() / "record";
    write_script(program, "pwd > \"$0.cwd\"\nprintf '%s\\0' \"$@\" > \"$0.args\"\nexit 3\n");
    const std::vector<std::string> arguments{"--ip=1.2.3.4 \"q\"; touch pwned", "$(touch pwned2)", "", "a\nb"};
    const std::optional<pid_t> pid = spawn_program({program.string(), arguments, temp.path().string(), false});
    ASSERT_TRUE(pid);
    EXPECT_EQ(wait_exit_code(*pid), 3);
    EXPECT_EQ(split_nul(read_file(temp.path() / "record.args")), arguments);
    EXPECT_EQ(read_file(temp.path() / "record.cwd"), temp.path().string() + "\n");
    EXPECT_FALSE(fs::exists(temp.path() / "pwned"));
    EXPECT_FALSE(fs::exists(temp.path() / "pwned2"));
}

TEST(ChildProcess, MissingOrUnrunnableProgramIsNotStartedAndSignalIsNoExitCode)
{
    const TempDir temp;
    EXPECT_FALSE(spawn_program({(temp.path() / "absent").string(), {}, std::nullopt, false}));
    std::ofstream(temp.path() / "plain") << "not a program\n";
    EXPECT_FALSE(spawn_program({(temp.path() / "plain").string(), {}, std::nullopt, false}));
    EXPECT_FALSE(spawn_program({"/bin/true", {}, (temp.path() / "no such folder").string(), false}));

    const std::optional<pid_t> pid = spawn_program({"/bin/sleep", {"30"}, std::nullopt, false});
    ASSERT_TRUE(pid);
    kill(*pid, SIGKILL);
    EXPECT_EQ(wait_exit_code(*pid), -1);
}

TEST(WebServer, StartsServerInItsFolderAndStopsItWithSigterm)
{
    const TempDir temp;
    const int port = Listener().port; // free once the listener has closed
    const fs::path server = temp.path() / "http" / "server";
    write_script(server, "echo $$ > pid\nexec python3 -c '\n"
                         "import signal, socket, sys\n"
                         "s = socket.socket(); s.bind((\"127.0.0.1\", " + std::to_string(port) + ")); s.listen()\n"
                         "signal.signal(signal.SIGTERM, lambda *a: (open(\"stopped\", \"w\").write(\"TERM\"), sys.exit(0)))\n"
                         "signal.pause()\n'\n");
    pid_t started = 0;
    {
        const WebServer web_server(server.string(), server.parent_path().string(), port);
        started = web_server.started_pid();
        ASSERT_NE(started, 0);
        EXPECT_TRUE(port_answers(port)) << "the shell goes on once the server answers";
        EXPECT_EQ(read_file(server.parent_path() / "pid"), std::to_string(started) + "\n");
    }
    EXPECT_EQ(read_file(server.parent_path() / "stopped"), "TERM");
    EXPECT_NE(kill(started, 0), 0) << "the server has ended and was reaped";
    EXPECT_FALSE(port_answers(port));
}

TEST(WebServer, ServerAlreadyAnsweringIsUsedAndLeftRunning)
{
    const TempDir temp;
    const Listener running;
    const fs::path server = temp.path() / "server";
    write_script(server, "touch \"$0.started\"\n");
    {
        const WebServer web_server(server.string(), temp.path().string(), running.port);
        EXPECT_EQ(web_server.started_pid(), 0);
    }
    EXPECT_FALSE(fs::exists(temp.path() / "server.started"));
    EXPECT_TRUE(port_answers(running.port));
}

TEST(Kit, BuildAssemblesARunnableKit)
{
    const fs::path kit = built_kit();
    for (const char* part : {"kelpkit", "cli/kelpu-cli", "http/kelpkit-http-server"}) {
        EXPECT_TRUE(fs::is_regular_file(kit / part)) << part;
        EXPECT_EQ(access((kit / part).c_str(), X_OK), 0) << part << " is executable";
    }
    EXPECT_TRUE(fs::is_regular_file(kit / "http/www/index.html"));
    EXPECT_TRUE(fs::is_regular_file(kit / "extensions/libkelpkit-bridge.so"));
    const ProcessResult version = run_process({(kit / "cli/kelpu-cli").string(), "--version"});
    EXPECT_EQ(version.exit_code, 0) << version.out << version.err;
}
