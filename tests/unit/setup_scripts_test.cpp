// The generated scripts: what is written (first line, banner year, values,
// mode 755, replacement of earlier files and links), the LPRng printconf
// link, and, run with /bin/sh against recording stand-ins of the product's
// programs, the branch each queue script takes for each ".nv_cfg" and the
// arguments and environment it hands on.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "MemMgr.h"
#include "Scripts.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Env = std::map<std::string, std::string>;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

std::string Line(const std::string& text, int n)
{
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < n && std::getline(in, line); ++i) {
    }
    return line;
}

std::string CurrentYear()
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return std::to_string(local.tm_year + 1900);
}

// One run of a recording stand-in, as it wrote it down.
struct Call {
    std::string name, cwd, input;
    Args args;
    Env env;
    std::map<std::string, std::string> files;  // argument -> content, for files
};

// A stand-in for a product program: writes its name, directory, arguments,
// the content of arguments that are files, its standard input and its
// environment to the record, then exits with the first line of
// <itself>.status (used up line by line), or 0.
std::string StubText(const std::string& name, const std::string& record)
{
    return "#!/bin/sh\n"
           "{\n"
           "echo \"call " + name + "\"\n"
           "echo \"cwd `pwd`\"\n"
           "for a in \"$@\"; do echo \"arg $a\"; done\n"
           "for a in \"$@\"; do [ -f \"$a\" ] && echo \"file $a `tr '\\n' ' ' < \"$a\"`\"; done\n"
           "echo \"input `tr '\\n' ' '`\"\n"
           "env | sed 's/^/env /'\n"
           "echo end\n"
           "} >> " + record + "\n"
           "echo \"" + name + " wrote to standard output\"\n"
           "echo \"" + name + " wrote to standard error\" >&2\n"
           "status=0\n"
           "if [ -s \"$0.status\" ]; then\n"
           "  status=`head -n 1 \"$0.status\"`\n"
           "  sed -i 1d \"$0.status\"\n"
           "fi\n"
           "exit $status\n";
}

std::vector<Call> ReadCalls(const std::string& record)
{
    std::vector<Call> calls;
    std::istringstream in(ReadFile(record));
    std::string line;
    while (std::getline(in, line)) {
        auto space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "call") {
            calls.emplace_back();
            calls.back().name = value;
        } else if (calls.empty() || key == "end") {
            continue;
        } else if (key == "cwd") {
            calls.back().cwd = value;
        } else if (key == "arg") {
            calls.back().args.push_back(value);
        } else if (key == "input") {
            calls.back().input = value;
        } else if (key == "file") {
            auto sep = value.find(' ');
            calls.back().files[value.substr(0, sep)] = value.substr(sep + 1);
        } else if (key == "env") {
            auto eq = value.find('=');
            calls.back().env[value.substr(0, eq)] = value.substr(eq + 1);
        }
    }
    return calls;
}

// Runs script with /bin/sh in cwd, with a small environment plus env,
// standard input from input; gives the exit status (-1 when it had to be
// stopped after 30 seconds).
int RunScript(const std::string& script, const Args& args, const Env& env,
              const std::string& cwd, const std::string& input = "")
{
    std::string inputFile = cwd + "/.stdin";
    std::string outputFile = cwd + "/.output";
    WriteFile(inputFile, input);
    Env all{{"PATH", "/usr/bin:/bin"}};
    for (const auto& [name, value] : env)
        all[name] = value;
    std::vector<std::string> envText;
    for (const auto& [name, value] : all)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp, argv{const_cast<char*>("sh"), const_cast<char*>(script.c_str())};
    for (auto& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        // What the script and the stand-ins print is not looked at.
        if (chdir(cwd.c_str()) != 0 || !freopen(inputFile.c_str(), "r", stdin) ||
            !freopen(outputFile.c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0)
            _exit(125);
        execve("/bin/sh", argv.data(), envp.data());
        _exit(126);
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            fs::remove(inputFile);
            fs::remove(outputFile);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fs::remove(inputFile);
    fs::remove(outputFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs fn in a child process with mounts of its own (a private mount
// namespace); gives false when the system does not allow that (not root).
bool InPrivateMounts(const std::function<void()>& fn)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(77);
        fn();
        fflush(nullptr);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        return false;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    return true;
}

class ScriptsTest : public testing::Test {
protected:
    void SetUp() override
    {
        app = dir + "/Tarvo/lumo";
        record = dir + "/record";
        fs::create_directories(app);
        fs::create_directories(dir + "/work");
        fs::create_directories(dir + "/printers");
        pTargetInstallDir = SaveStr_(dir.c_str());
        pAppDir = SaveStr("%s/Tarvo/lumo", pTargetInstallDir);
        // No LPRng unless a test fakes one.
        savedLpd = ComList[CMD_LPD].Path;
        ComList[CMD_LPD].Path = nullptr;
        for (const char* name : {"nvrlumotty", "AixInterface", "driver", "qdf"})
            WriteFile(app + "/" + name, StubText(name, record), 0755);
        createQueueScripts((dir + "/spool").c_str());
    }

    void TearDown() override
    {
        ComList[CMD_LPD].Path = savedLpd;
        PutMem(pAppDir);
        PutMem(pTargetInstallDir);
        pAppDir = pTargetInstallDir = nullptr;
    }

    // The printing system named in .nv_cfg; nullptr: no .nv_cfg at all.
    void Config(const char* text)
    {
        fs::remove(app + "/.nv_cfg");
        if (text)
            WriteFile(app + "/.nv_cfg", text);
    }

    // The script installed under a printer's name, as System V and CUPS do.
    std::string AsPrinter(const std::string& script, const std::string& printer)
    {
        std::string path = dir + "/printers/" + printer;
        fs::remove(path);
        fs::create_symlink(app + "/" + script, path);
        return path;
    }

    // Runs the script and gives the one call it made to a product program.
    Call RunOnce(const std::string& script, const Args& args, const Env& env = {},
                 const std::string& cwd = "", const std::string& input = "")
    {
        fs::remove(record);
        status = RunScript(script, args, env, cwd.empty() ? dir + "/work" : cwd, input);
        auto calls = ReadCalls(record);
        EXPECT_EQ(calls.size(), 1u) << script;
        return calls.empty() ? Call{} : calls.front();
    }

    ScratchDir scratch{"scripts_test"};
    std::string dir = scratch.Path();
    std::string app, record;
    int status = 0;
    char* savedLpd = nullptr;
};

// ---- what is written ----

TEST_F(ScriptsTest, QueueScriptsCarryFirstLineBannerYearValuesAndMode755)
{
    // The mode is 755 whatever the process's file-creation mask.
    mode_t old = umask(077);
    createQueueScripts("/var/spool/Tarvo");
    umask(old);
    const std::string year = CurrentYear();
    for (const char* name : {"TarvoPrintlumo", "v4DriverScript", "TarvoQDF"}) {
        SCOPED_TRACE(name);
        std::string path = app + "/" + name;
        std::string text = ReadFile(path);
        EXPECT_EQ(ModeOf(path), 0755);
        EXPECT_EQ(Line(text, 1), "#!/bin/sh");
        // Five framed banner lines carrying the year, two empty lines.
        for (int n = 2; n <= 6; ++n) {
            EXPECT_EQ(Line(text, n).front(), '#');
            EXPECT_EQ(Line(text, n).back(), '#');
            EXPECT_EQ(Line(text, n).size(), Line(text, 2).size());
        }
        EXPECT_NE(text.find("Copyright (c) " + year + " Tarvo"), std::string::npos);
        EXPECT_EQ(Line(text, 7), "");
        EXPECT_EQ(Line(text, 8), "");
        EXPECT_EQ(Line(text, 9), "ToolPath=\"" + app + "\"");
        // Every placeholder filled: the one "%" left is printf's.
        EXPECT_EQ(std::count(text.begin(), text.end(), '%'), 1);
        EXPECT_EQ(std::system(("sh -n " + path).c_str()), 0);
    }
    EXPECT_NE(ReadFile(app + "/TarvoQDF").find("SpoolDir=\"/var/spool/Tarvo/lumo\"\n"),
              std::string::npos);
    EXPECT_NE(ReadFile(app + "/TarvoPrintlumo").find("\"${ToolPath}/nvrlumotty\" -d\"$NuvrinPrinter\" -f >>\"nuvrinlumo.log\""),
              std::string::npos);
}

TEST_F(ScriptsTest, GeneratingAgainReplacesFilesAndLinksWithoutFollowingThem)
{
    std::string driver = app + "/v4DriverScript";
    std::string once = ReadFile(driver);
    WriteFile(driver, "old text that must go\n", 0600);
    // A link planted where a script goes is replaced, its target untouched.
    std::string victim = dir + "/victim";
    WriteFile(victim, "precious\n", 0600);
    fs::remove(app + "/TarvoQDF");
    fs::create_symlink(victim, app + "/TarvoQDF");

    createQueueScripts((dir + "/spool").c_str());
    EXPECT_EQ(ReadFile(driver), once);
    EXPECT_EQ(ModeOf(driver), 0755);
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_EQ(ModeOf(victim), 0600);
    EXPECT_FALSE(fs::is_symlink(app + "/TarvoQDF"));
    EXPECT_EQ(ModeOf(app + "/TarvoQDF"), 0755);
}

TEST_F(ScriptsTest, FilesThatCannotBeWrittenOrValuesThatCannotBeQuotedAreReported)
{
    std::string missing = dir + "/no/such/dir/v4DriverScript";
    testing::internal::CaptureStderr();
    EXPECT_EQ(generatev4DriverScript(missing.c_str(), ScriptShShell, pv4DriverScript), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: can't open file, " + missing + "\n");

    for (const char* bad : {"/opt/a\"b", "/opt/$HOME", "/opt/`id`", "/opt/a\\b", "/opt/a\nb"}) {
        std::string path = dir + "/wrapper";
        testing::internal::CaptureStderr();
        EXPECT_EQ(GenSimpleScript(path.c_str(), ScriptShShell, SimpleScript, bad, bad, "nvadmin"), 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: couldn't write " + path), std::string::npos);
        EXPECT_FALSE(fs::exists(path)) << bad;
    }
    // A template asking for more values than the generator has.
    std::string path = dir + "/short";
    testing::internal::CaptureStderr();
    EXPECT_EQ(generatev4DriverScript(path.c_str(), ScriptShShell, "%s %s\n"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: couldn't write"), std::string::npos);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(ScriptsTest, WrapperStartsTheProgramInTheApplicationDirectoryWithItsArguments)
{
    WriteFile(app + "/nvadmin", StubText("nvadmin", record), 0755);
    std::string wrapper = dir + "/nvadmin";
    ASSERT_EQ(GenSimpleScript(wrapper.c_str(), ScriptShShell, SimpleScript, app.c_str(), app.c_str(), "nvadmin"), 1);
    EXPECT_EQ(ModeOf(wrapper), 0755);
    std::string text = ReadFile(wrapper);
    EXPECT_EQ(Line(text, 1), "#!/bin/sh");
    EXPECT_NE(text.find("Copyright (c) " + CurrentYear()), std::string::npos);
    EXPECT_NE(text.find("\ncd \"" + app + "\"\nexec \"" + app + "/nvadmin\""), std::string::npos);

    Call call = RunOnce(wrapper, {"two words", "*", "", "-x"});
    EXPECT_EQ(call.args, (Args{"two words", "*", "", "-x"}));
    EXPECT_EQ(call.cwd, app);
    EXPECT_EQ(call.env["NuvrinFileSourceDir"], dir + "/work");
}

// ---- the LPRng printconf link ----

TEST_F(ScriptsTest, PrintconfLinkOnlyForLprngIntoAnExistingDirectoryWithoutOne)
{
    const std::string util = "/usr/share/printconf/util";
    const std::string link = util + "/TarvoPrintlumo";
    std::string lpd = dir + "/lpd";
    fs::create_directories(lpd);
    auto FakeLpd = [&](const char* version) {
        WriteFile(lpd + "/lpd", std::string("#!/bin/sh\necho \"") + version + "\"\n", 0755);
        ComList[CMD_LPD].Path = SaveStr_(lpd.c_str());
    };
    bool ran = InPrivateMounts([&] {
        ASSERT_EQ(mount("none", "/usr/share", "tmpfs", 0, nullptr), 0);
        // No printconf directory: nothing is made.
        FakeLpd("lpd (LPRng-3.8.28)");
        createQueueScripts("/var/spool/Tarvo");
        EXPECT_FALSE(fs::exists("/usr/share/printconf"));

        fs::create_directories(util);
        FakeLpd("lpd: some other daemon");
        createQueueScripts("/var/spool/Tarvo");
        EXPECT_FALSE(fs::is_symlink(link));

        FakeLpd("lpd (LPRng-3.8.28)");
        createQueueScripts("/var/spool/Tarvo");
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), app + "/TarvoPrintlumo");

        // One of that name already there is left as it is.
        fs::remove(link);
        WriteFile(link, "someone else's\n");
        createQueueScripts("/var/spool/Tarvo");
        EXPECT_EQ(ReadFile(link), "someone else's\n");
    });
    if (!ran)
        GTEST_SKIP() << "needs a private mount namespace (root)";
}

// ---- the queue interface script ----

TEST_F(ScriptsTest, InterfaceTakesTheV5BranchUnlessNvCfgNamesAKnownSystem)
{
    std::string laser = AsPrinter("TarvoPrintlumo", "laser1");
    for (const char* config : {static_cast<const char*>(nullptr), " V5 ", " junk ", ""}) {
        SCOPED_TRACE(config ? config : "no .nv_cfg");
        Config(config);
        Call call = RunOnce(laser, {"laser1-42", "alice@host", "Report###host-extra", "2",
                                    "nobanner duplex", "/tmp/job 1", "/tmp/job2"},
                            {{"PRINTER", "elsewhere"}});
        EXPECT_EQ(call.name, "nvrlumotty");
        EXPECT_EQ(call.args, (Args{"-dlaser1", "-i", "/tmp/job 1", "/tmp/job2"}));
        EXPECT_EQ(call.cwd, app);
        EXPECT_EQ(call.env["PATH"], "/usr/sbin:/usr/bin");
        EXPECT_EQ(call.env["NuvrinPrinter"], "laser1");
        EXPECT_EQ(call.env["NuvrinRequest_id"], "laser1-42");
        EXPECT_EQ(call.env["NuvrinUser_name"], "alice@host");
        EXPECT_EQ(call.env["NuvrinTitle"], "Report");
        EXPECT_EQ(call.env["NuvrinCopies"], "2");
        EXPECT_EQ(call.env["NuvrinOption_list"], "nobanner duplex");
    }
}

TEST_F(ScriptsTest, InterfaceCupsLprngBsdAndAixBranches)
{
    std::string script = app + "/TarvoPrintlumo";
    // CUPS: the printer from $PRINTER, the title whole; the last known word wins.
    for (const char* config : {" CUPS ", " LPRng BSD CUPS "}) {
        Config(config);
        Call call = RunOnce(script, {"7", "bob", "Slides###x", "1", "", "/tmp/f"}, {{"PRINTER", "cupsq"}});
        EXPECT_EQ(call.args, (Args{"-dcupsq", "-i", "/tmp/f"}));
        EXPECT_EQ(call.env["NuvrinPrinter"], "cupsq");
        EXPECT_EQ(call.env["NuvrinTitle"], "Slides###x");
        EXPECT_EQ(call.cwd, app);
    }

    // LPRng: filter arguments by position, option letters stripped; the
    // program's failure does not fail the filter.
    Config(" LPRng ");
    WriteFile(app + "/nvrlumotty.status", "3\n");
    Call call = RunOnce(script, {"-Plaser", "-d/var/spool/lpd/laser", "-edfA1host,dfA2host",
                                 "-Zduplex,a4", "-nalice", "-hhost1"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(call.args, (Args{"-dlaser", "-f", "-oduplex", "-oa4", "/var/spool/lpd/laser/dfA1host",
                               "/var/spool/lpd/laser/dfA2host"}));
    EXPECT_EQ(call.cwd, app);
    EXPECT_EQ(call.env["NuvrinFileSourceDir"], dir + "/work");

    // BSD: the queue is the current directory; the job comes on standard
    // input; both outputs end up in nuvrinlumo.log there.
    Config(" BSD ");
    std::string queue = dir + "/lpd/laser2";
    fs::create_directories(queue);
    call = RunOnce(script, {"-w132"}, {}, queue, "page one\n");
    EXPECT_EQ(call.args, (Args{"-dlaser2", "-f"}));
    EXPECT_EQ(call.cwd, queue);
    EXPECT_EQ(call.input, "page one ");
    std::string log = ReadFile(queue + "/nuvrinlumo.log");
    EXPECT_NE(log.find("nvrlumotty wrote to standard output"), std::string::npos);
    EXPECT_NE(log.find("nvrlumotty wrote to standard error"), std::string::npos);

    Config(" AIX ");
    call = RunOnce(script, {"-a", "two words", "*"});
    EXPECT_EQ(call.name, "AixInterface");
    EXPECT_EQ(call.args, (Args{"-a", "two words", "*"}));
    EXPECT_EQ(call.cwd, app);
}

// ---- the driver script ----

TEST_F(ScriptsTest, DriverV5BranchBuildsItsArgumentsAndNeverExpandsPatterns)
{
    std::string laser = AsPrinter("v4DriverScript", "laser1");
    Config(nullptr);
    WriteFile(app + "/driver.status", "1\n");
    // A title of "*" stays a word: no file names of the directory appear.
    Call call = RunOnce(laser, {"laser1-9", "alice@host", "*###extra", "3", "duplex", "/tmp/f1"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(call.args, (Args{"-dlaser1", "-oCopies=3", "-ualice", "-t", "*", "/tmp/f1"}));
    EXPECT_EQ(call.cwd, app);
    EXPECT_EQ(call.env["PRINTER"], "laser1");
    EXPECT_EQ(call.env["NuvrinRequest_id"], "-o JobID=laser1-9");
    EXPECT_EQ(call.env["DISPLAY"], ":0.0");
    EXPECT_EQ(call.env["PANGO_RC_FILE"], app + "/lib/gtk/modules/etc/pango/pangorc");
    EXPECT_EQ(call.env["GTK_IM_MODULE_FILE"], app + "/lib/gtk/modules/etc/gtk-2.0/gtk.immodules");
    EXPECT_EQ(call.env["GDK_PIXBUF_MODULE_FILE"], app + "/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders");

    call = RunOnce(laser, {"1", "bob", "Plain title", "1", "", "/tmp/f1"}, {{"DISPLAY", "ws:1"}});
    EXPECT_EQ(call.args, (Args{"-dlaser1", "-oCopies=1", "-ubob", "-t", "Plain", "title", "/tmp/f1"}));
    EXPECT_EQ(call.env["DISPLAY"], "ws:1");
}

TEST_F(ScriptsTest, DriverV5OptionsFollowTheSystemUnameNames)
{
    std::string laser = AsPrinter("v4DriverScript", "laser1");
    Config(" V5 ");
    std::string uname = dir + "/uname";
    auto RunAs = [&](const char* system) {
        WriteFile(uname, std::string("#!/bin/sh\necho ") + system + "\n", 0755);
        return RunOnce(laser, {"1", "bob", "T", "1", "duplex nobanner flist=/a,/b -oBSDx tail", "/tmp/f"});
    };
    WriteFile(uname, "", 0755);
    bool ran = InPrivateMounts([&] {
        ASSERT_EQ(mount(uname.c_str(), "/usr/bin/uname", "none", MS_BIND, nullptr), 0);
        Call call = RunAs("SunOS");
        EXPECT_EQ(call.args, (Args{"-dlaser1", "-oCopies=1", "-ubob", "-t", "T", "-oduplex", "-onobanner", "/tmp/f"}));
        EXPECT_EQ(call.env["LD_LIBRARY_PATH"], app + "/lib:" + app + "/lib/gtk:/lib:/usr/lib");

        call = RunAs("HP-UX");
        EXPECT_EQ(call.args, (Args{"-dlaser1", "-oCopies=1", "-ubob", "-t", "T", "-oduplex", "-onobanner",
                                   "-oflist=/a,/b", "/tmp/f"}));
        EXPECT_EQ(call.env.count("LD_LIBRARY_PATH"), 0u);

        // Any other system: no options.
        call = RunAs("Linux");
        EXPECT_EQ(call.args, (Args{"-dlaser1", "-oCopies=1", "-ubob", "-t", "T", "/tmp/f"}));
    });
    if (!ran)
        GTEST_SKIP() << "needs a private mount namespace (root)";
}

TEST_F(ScriptsTest, DriverCupsLprngBsdAndAixBranches)
{
    std::string script = app + "/v4DriverScript";
    Config(" CUPS ");
    Call call = RunOnce(script, {"7", "\"bob\"", "\"My doc\"", "2", "media=a4 \"sides=two\"", "/tmp/f"},
                        {{"PRINTER", "cq"}});
    EXPECT_EQ(call.args, (Args{"-dcq", "-oCopies=2", "-u", "bob", "-t", "My", "doc", "-o", "media=a4",
                               "-o", "sides=two", "/tmp/f"}));
    EXPECT_EQ(call.cwd, app);
    EXPECT_EQ(call.env["DISPLAY"], ":0.0");
    EXPECT_EQ(call.env["PANGO_RC_FILE"], app + "/lib/gtk/modules/etc/pango/pangorc");

    for (const char* config : {" LPRng ", " BSD "}) {
        SCOPED_TRACE(config);
        Config(config);
        call = RunOnce(script, {"-Plaser", "-d/sp", "-ea,b", "-Zx,y", "-nalice", "-hh"});
        EXPECT_EQ(status, 0);
        EXPECT_EQ(call.args, (Args{"-dlaser", "-ox", "-oy", "/sp/a", "/sp/b"}));
        EXPECT_EQ(call.cwd, dir + "/work");
        EXPECT_EQ(call.env["NuvrinFileSourceDir"], dir + "/work");
        EXPECT_EQ(call.env.count("PANGO_RC_FILE"), 0u);
    }

    Config(" AIX ");
    call = RunOnce(script, {"-q", "x y"});
    EXPECT_EQ(call.args, (Args{"-f", "AIX", "-q", "x y"}));
    EXPECT_EQ(call.cwd, app);
    EXPECT_EQ(call.env["GDK_PIXBUF_MODULE_FILE"], app + "/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders");
}

// ---- the spooling-filter script ----

TEST_F(ScriptsTest, FilterV5CupsAndAixBranchesHandTheFilesToQdf)
{
    std::string laser = AsPrinter("TarvoQDF", "laser1");
    for (const char* config : {static_cast<const char*>(nullptr), " V5 "}) {
        Config(config);
        Call call = RunOnce(laser, {"r1", "alice", "Title###x", "1", "opts", "/tmp/a", "/tmp/b"});
        EXPECT_EQ(call.name, "qdf");
        EXPECT_EQ(call.args, (Args{"/tmp/a", "/tmp/b"}));
        EXPECT_EQ(call.cwd, app);
        EXPECT_EQ(call.env["NuvrinPrinter"], "laser1");
        EXPECT_EQ(call.env["NuvrinTitle"], "Title###x");
        EXPECT_EQ(call.env["NuvrinOption_list"], "opts");
        EXPECT_EQ(call.env["PATH"], "/usr/sbin:/usr/bin");
    }
    Config(" CUPS ");
    Call call = RunOnce(laser, {"r1", "alice", "T", "1", "", "/tmp/a"}, {{"PRINTER", "cq"}});
    EXPECT_EQ(call.env["NuvrinPrinter"], "cq");
    EXPECT_EQ(call.args, (Args{"/tmp/a"}));

    Config(" AIX ");
    call = RunOnce(laser, {"-x", "a b"});
    EXPECT_EQ(call.args, (Args{"-x", "a b"}));
    EXPECT_EQ(call.cwd, app);
}

TEST_F(ScriptsTest, FilterBsdAndLprngKeepStandardInputInTheSpoolWhileQdfRuns)
{
    std::string script = app + "/TarvoQDF";
    std::string queue = dir + "/lpd/laser2";
    fs::create_directories(queue);

    // BSD: the job is kept below the queue spool directory of the product.
    Config(" BSD ");
    status = RunScript(script, {}, {}, queue, "job data\n");
    EXPECT_EQ(status, 1) << "no spool directory for the printer";
    EXPECT_FALSE(fs::exists(record));
    fs::create_directories(dir + "/spool/lumo/laser2");
    Call call = RunOnce(script, {}, {}, queue, "job data\n");
    EXPECT_EQ(status, 0);
    ASSERT_EQ(call.args.size(), 1u);
    EXPECT_EQ(call.args[0].rfind(dir + "/spool/lumo/laser2/laser2.", 0), 0u);
    EXPECT_EQ(call.files[call.args[0]], "job data ");
    EXPECT_FALSE(fs::exists(call.args[0]));

    // LPRng: the values of -f are the jobs; "(stdin)" is kept in SPOOL_DIR.
    Config(" LPRng ");
    std::string lpdSpool = dir + "/lpd";
    call = RunOnce(script, {"-Plaser", "-f", "(stdin)", "-fdfA2", "-n", "alice", "-Jtitle"},
                   {{"SPOOL_DIR", lpdSpool}}, queue, "from stdin\n");
    EXPECT_EQ(status, 0);
    ASSERT_EQ(call.args.size(), 2u);
    EXPECT_EQ(call.args[0].rfind(lpdSpool + "/laser2.", 0), 0u);
    EXPECT_EQ(call.files[call.args[0]], "from stdin ");
    EXPECT_EQ(call.args[1], "dfA2");
    EXPECT_FALSE(fs::exists(call.args[0]));
    EXPECT_EQ(call.cwd, queue);
}

TEST_F(ScriptsTest, FilterRunsQdfAgainUntilItSucceedsButNotWhenItCannotStart)
{
    std::string laser = AsPrinter("TarvoQDF", "laser1");
    Config(" V5 ");
    WriteFile(app + "/qdf.status", "3\n3\n0\n");
    status = RunScript(laser, {"r", "u", "t", "1", "", "/tmp/a"}, {}, dir + "/work");
    EXPECT_EQ(status, 0);
    auto calls = ReadCalls(record);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].args, (Args{"/tmp/a"}));

    fs::remove(app + "/qdf");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunScript(laser, {"r", "u", "t", "1", "", "/tmp/a"}, {}, dir + "/work"), 127);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
