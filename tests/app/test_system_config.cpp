// The settings file in-process: loading every kind of file, when it is
// rewritten, its exact bytes, and saves that fail part-way keeping the old
// file (run in child processes, some as an unprivileged user).
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/launcher_state.h"
#include "app/system_config.h"
#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

using qv_test::log_capture;
using qv_test::read_file;
using qv_test::write_file;

namespace {

const std::string DECL = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

// The file exactly as a save writes it.
std::string saved_file(int beta)
{
    return DECL + "<launcher_config>\n  <launcher_version>1.096-gtk-rc4</launcher_version>\n  <beta_test_enable>" +
           std::to_string(beta) + "</beta_test_enable>\n</launcher_config>\n\n";
}

// HOME points at a private directory and the configuration directory is set
// up in it once for the whole program.
class config_environment : public ::testing::Environment {
public:
    void SetUp() override
    {
        home_ = new qv_test::temp_dir;
        setenv("HOME", home_->path().c_str(), 1);
        ASSERT_EQ(1, vexa_client_set_up_config_directory("Quorvane"));
        ASSERT_EQ(home_->path() + "/.Quorvane", std::string(vexa_client_get_config_directory()));
    }
    void TearDown() override { delete home_; }

private:
    qv_test::temp_dir *home_ = nullptr;
};

const ::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new config_environment);

std::string config_dir()
{
    return vexa_client_get_config_directory();
}

std::string config_path()
{
    return config_dir() + "/launcher.cfg";
}

// Names in the configuration directory, sorted.
std::vector<std::string> dir_entries()
{
    std::vector<std::string> names;
    DIR *d = opendir(config_dir().c_str());
    if (!d)
        return names;
    while (struct dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

ino_t inode_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool contains(const std::string &haystack, const std::string &needle)
{
    return haystack.find(needle) != std::string::npos;
}

struct SystemConfig : ::testing::Test {
    void SetUp() override
    {
        unlink(config_path().c_str());
        chmod(config_dir().c_str(), 0700);
        beta_test_enable = 0;
        log_level = 1;
    }
    void TearDown() override
    {
        chmod(config_dir().c_str(), 0700);
        beta_test_enable = 0;
        log_level = 1;
    }
};

} // namespace

TEST_F(SystemConfig, MissingFileIsCreatedWithModeOff)
{
    log_level = 3;
    log_capture log;
    load_system_config_file();
    EXPECT_EQ(0, beta_test_enable);
    EXPECT_EQ(saved_file(0), read_file(config_path()));
    EXPECT_EQ("load_system_config_file() - using core config file name '" + config_path() + "'.\n" +
                  "Unable to load system config - cannot open config file '" + config_path() + "'.\n" +
                  "Saving system config to file '" + config_path() + "'.\n",
              log.text());
    EXPECT_EQ(std::vector<std::string>{"launcher.cfg"}, dir_entries());
}

TEST_F(SystemConfig, LoadingEveryKindOfFile)
{
    const std::string V = "  <launcher_version>1.096-gtk-rc4</launcher_version>\n";
    struct {
        const char *name;
        std::string content;
        int beta;
        bool rewritten;
        std::string log; // a message the load must log ("" for none at all)
    } cases[] = {
        {"current, mode on", saved_file(1), 1, false, ""},
        {"current, mode off", saved_file(0), 0, false, ""},
        {"older version", DECL + "<launcher_config>\n  <launcher_version>1.095</launcher_version>\n"
                                 "  <beta_test_enable>1</beta_test_enable>\n</launcher_config>\n\n",
         1, true, ""},
        {"no version", DECL + "<launcher_config>\n  <beta_test_enable>1</beta_test_enable>\n</launcher_config>\n", 1,
         true, ""},
        {"yes as value", DECL + "<launcher_config>\n" + V + "  <beta_test_enable>yes</beta_test_enable>\n" +
                             "</launcher_config>\n",
         0, false, "Warning in vexa_xml_reader::read_data(int) - got non-number'yes'.\n"},
        {"bad declaration", "<launcher_config>\n" + V + "  <beta_test_enable>1</beta_test_enable>\n</launcher_config>\n",
         0, true, "Warning in load_system_config_file() - bad XML header, bailing.\n"},
        {"empty file", "", 0, true, "Warning in load_system_config_file() - bad XML header, bailing.\n"},
        {"unknown top-level element first",
         DECL + "<other a=\"1\">\n  <beta_test_enable>7</beta_test_enable>\n</other>\n<launcher_config>\n" + V +
             "  <beta_test_enable>1</beta_test_enable>\n</launcher_config>\n",
         1, false, "load_system_config_file() got unknown tag 'other a=\"1\"'\n"},
        {"upper-case tags", DECL + "<LAUNCHER_CONFIG>\n  <Launcher_Version>1.096-gtk-rc4</Launcher_Version>\n" +
                                "  <BETA_TEST_ENABLE>1</BETA_TEST_ENABLE>\n</LAUNCHER_CONFIG>\n",
         1, false, ""},
        {"later occurrence wins, unknown child skipped",
         DECL + "<launcher_config>\n  <beta_test_enable>1</beta_test_enable>\n  <extra><x>2</x></extra>\n" +
             "  <launcher_version>1.0</launcher_version>\n" + V + "  <beta_test_enable>0</beta_test_enable>\n" +
             "  <beta_test_enable>3</beta_test_enable>\n</launcher_config>\n",
         3, false, ""},
        {"version with a tab is refused, mode read before it is kept",
         DECL + "<launcher_config>\n  <beta_test_enable>1</beta_test_enable>\n" +
             "  <launcher_version>1.096-gtk-rc4\t</launcher_version>\n</launcher_config>\n",
         1, true, ""},
        // What was read before the end counts as the version, so a file cut
        // short right after it is taken as current.
        {"version cut short by the end of the file", DECL + "<launcher_config>\n  <launcher_version>1.096-gtk-rc4", 0,
         false, "Warning in vexa_xml_reader::read_block(), file corruption - got EOF before trailing bracket.\n"},
        {"declaration with CR LF line ends", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<launcher_config>\r\n" +
                                                 V + "  <beta_test_enable>1</beta_test_enable>\r\n</launcher_config>\r\n",
         1, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        beta_test_enable = 0;
        ASSERT_TRUE(write_file(config_path(), c.content));
        ino_t before = inode_of(config_path());
        log_capture log;
        load_system_config_file();
        EXPECT_EQ(c.beta, beta_test_enable);
        if (c.rewritten) {
            EXPECT_EQ(saved_file(c.beta), read_file(config_path()));
            EXPECT_NE(before, inode_of(config_path()));
        } else {
            EXPECT_EQ(c.content, read_file(config_path()));
            EXPECT_EQ(before, inode_of(config_path()));
        }
        if (c.log.empty() && !c.rewritten)
            EXPECT_EQ("", log.text());
        else
            EXPECT_TRUE(contains(log.text(), c.log)) << log.text();
        EXPECT_EQ(std::vector<std::string>{"launcher.cfg"}, dir_entries());
    }
}

TEST_F(SystemConfig, SaveWritesTheCurrentModeOverTheOldFile)
{
    ASSERT_TRUE(write_file(config_path(), "junk that is longer than the settings file itself, much longer " +
                                              std::string(500, 'x')));
    for (int beta : {1, 0, -4}) {
        beta_test_enable = beta;
        log_capture log;
        save_system_config_file();
        EXPECT_EQ(saved_file(beta), read_file(config_path()));
        EXPECT_EQ("", log.text());
    }
    EXPECT_EQ(std::vector<std::string>{"launcher.cfg"}, dir_entries());
}

TEST_F(SystemConfig, SaveIntoAnUnwritableDirectoryKeepsTheOldFile)
{
    // The directory is readable but not writable for the unprivileged child.
    ASSERT_TRUE(write_file(config_path(), saved_file(0)));
    ASSERT_EQ(0, chmod(config_dir().c_str(), 0755));
    log_capture log;
    int rc = qv_test::run_in_child(
        [] {
            beta_test_enable = 1;
            save_system_config_file();
            return 0;
        },
        true);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(saved_file(0), read_file(config_path()));
    EXPECT_EQ("Unable to save system config - cannot open config file '" + config_path() + "'.\n", log.text());
    EXPECT_EQ(std::vector<std::string>{"launcher.cfg"}, dir_entries());
}

TEST_F(SystemConfig, SaveThatCannotReplaceTheFileKeepsIt)
{
    // In a sticky directory the unprivileged child may create its temporary
    // file but not rename it over a file that another user owns.
    ASSERT_TRUE(write_file(config_path(), saved_file(0)));
    ASSERT_EQ(0, chmod(config_dir().c_str(), 01777));
    log_capture log;
    int rc = qv_test::run_in_child(
        [] {
            beta_test_enable = 1;
            save_system_config_file();
            return 0;
        },
        true);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(saved_file(0), read_file(config_path()));
    EXPECT_EQ("Error in save_system_config_file(), unable to write to system config file '" + config_path() + "'.\n",
              log.text());
    EXPECT_EQ(std::vector<std::string>{"launcher.cfg"}, dir_entries());
}

TEST_F(SystemConfig, SaveWhoseWritesFailKeepsTheOldFile)
{
    // A file size limit below the settings file's size makes the writes fail
    // (EFBIG) once the stream flushes; the old file must not be truncated.
    const std::string old = saved_file(0);
    ASSERT_TRUE(write_file(config_path(), old));
    log_capture log;
    int rc = qv_test::run_in_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim;
        getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = old.size() - 10;
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
            return 2;
        beta_test_enable = 1;
        save_system_config_file();
        return 0;
    });
    EXPECT_EQ(0, rc);
    EXPECT_EQ(old, read_file(config_path()));
    std::string msg =
        "Error in save_system_config_file(), unable to write to system config file '" + config_path() + "'.\n";
    ASSERT_LT(msg.size(), old.size() - 10); // the log message itself fits under the limit
    EXPECT_EQ(msg, log.text());
    EXPECT_EQ(std::vector<std::string>{"launcher.cfg"}, dir_entries());
}

TEST_F(SystemConfig, ModeChangesAreSavedAtOnce)
{
    ASSERT_TRUE(write_file(config_path(), saved_file(0)));
    load_system_config_file();
    ino_t before = inode_of(config_path());
    set_beta_test_enable(0); // unchanged: nothing written
    EXPECT_EQ(before, inode_of(config_path()));
    set_beta_test_enable(1);
    EXPECT_EQ(1, get_beta_test_enable());
    EXPECT_EQ(saved_file(1), read_file(config_path()));
    set_beta_test_enable(0);
    EXPECT_EQ(saved_file(0), read_file(config_path()));
}
