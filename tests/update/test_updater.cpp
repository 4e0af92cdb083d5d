// The update engine against a private nginx serving a published directory:
// install, replace, failures per file, the periodic and final manifest saves,
// the start-up checks, run_update with its exclude list, and the refusal of
// unsafe names and of downloads whose size is not the listed one.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <string>
#include <utility>
#include <vector>

#include "runtime/pointer_array.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_support.h"
#include "update/file_manifest.h"
#include "update/updater.h"

using qv_test::read_file;
using qv_test::temp_dir;
using qv_test::write_file;

namespace {

const char *const ROOT = "/downloads/kestrel_v3";
const std::string HASH_A = "aaaaaaaaaa0000000001";
const std::string HASH_B = "bbbbbbbbbb0000000002";

// What the engine said and reported, in order.
struct recorder {
    std::vector<std::string> messages;
    std::vector<std::pair<double, double>> bytes;
    std::string also_to_file; // when set, every message is appended there too (child processes)
};

void on_message(void *data, const char *text)
{
    recorder *r = static_cast<recorder *>(data);
    r->messages.push_back(text);
    if (!r->also_to_file.empty()) {
        FILE *f = fopen(r->also_to_file.c_str(), "ab");
        if (f) {
            fprintf(f, "%s\n", text);
            fclose(f);
        }
    }
}

void on_bytes(void *data, double done, double total)
{
    static_cast<recorder *>(data)->bytes.push_back({done, total});
}

long fake_clock = 1000;
long fake_time()
{
    return fake_clock;
}

bool has(const std::vector<std::string> &v, const std::string &text)
{
    for (const std::string &s : v)
        if (s == text)
            return true;
    return false;
}

int count_of(const std::vector<std::string> &v, const std::string &text)
{
    int n = 0;
    for (const std::string &s : v)
        n += s == text;
    return n;
}

std::string gzip(const std::string &text)
{
    z_stream s = {};
    deflateInit2(&s, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, text.size()) + 64, '\0');
    s.next_in = (Bytef *)text.data();
    s.avail_in = (uInt)text.size();
    s.next_out = (Bytef *)&out[0];
    s.avail_out = (uInt)out.size();
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// A list of entries the test owns, in the form download_files takes.
struct entry_list {
    pointer_array array;
    std::vector<qfu_manifest_entry *> owned;
    void add(const std::string &name, const std::string &hash, int size)
    {
        qfu_manifest_entry *e = qfu_new_manifest_entry(name.c_str(), hash.c_str(), size);
        owned.push_back(e);
        array.append(e);
    }
    ~entry_list()
    {
        for (qfu_manifest_entry *e : owned)
            qfu_free_manifest_entry(e);
    }
};

struct UpdaterTest : ::testing::Test {
    temp_dir site, work;
    qv_test::nginx_server server;
    recorder rec;
    std::string dest, temp, manifest;

    void SetUp() override
    {
        ASSERT_EQ(0, system(("mkdir -p " + site.path() + ROOT).c_str()));
        ASSERT_TRUE(server.start(site.path()));
        dest = work.file("executables");
        temp = dest + "/download.tmp";
        manifest = dest + "/update_manifest.lst";
        fake_clock = 1000;
    }

    void publish(const std::string &name, const std::string &content)
    {
        std::string path = site.path() + ROOT + "/" + name;
        ASSERT_EQ(0, system(("mkdir -p \"$(dirname '" + path + "')\"").c_str()));
        ASSERT_TRUE(write_file(path, content));
    }

    // An engine set up the way the executable update run does it.
    void configure(qfu_updater &u, bool verbose = true)
    {
        u.set_verbose(verbose);
        u.set_message_callback(on_message);
        u.set_user_data(&rec);
        u.set_byte_progress_callback(on_bytes);
        u.set_pause_ms(0);
        u.set_port(server.port());
        u.set_time_source(fake_time);
        ASSERT_EQ(1, u.set_destination_directory(dest.c_str()));
        ASSERT_EQ(1, u.set_temporary_file(temp.c_str()));
        u.load_local_manifest(manifest.c_str());
    }

    std::string requested(const std::string &path)
    {
        return server.wait_for_access_log("\"GET " + path + " HTTP/1.1\"", 2000);
    }
};

} // namespace

TEST_F(UpdaterTest, InstallsReplacesAndSavesOnceOnCompletion)
{
    publish("client-100", std::string(3000, 'n'));
    publish("client-099", "new 099");
    ASSERT_EQ(0, mkdir(dest.c_str(), 0700));
    write_file(dest + "/client-099", "old");
    write_file(manifest, "# header\n\n" + HASH_A + "          3 client-099\n");

    qfu_updater u;
    configure(u);
    EXPECT_TRUE(has(rec.messages, "Loaded 1 entries from current manifest file '" + manifest + "'."));

    entry_list list;
    list.add("client-100", HASH_B, 3000);
    list.add("client-099", HASH_B, 7);
    for (qfu_manifest_entry *e : list.owned)
        EXPECT_EQ(1, u.needs_update(e));
    EXPECT_TRUE(has(rec.messages, "File 'client-100' missing, should update."));
    EXPECT_TRUE(has(rec.messages, "Expected        7, " + HASH_B));
    EXPECT_TRUE(has(rec.messages, "Previous        3, " + HASH_A + " - file 'client-099'"));

    rec.messages.clear();
    EXPECT_EQ(QFU_UPDATE_DONE, u.download_files("127.0.0.1", ROOT, &list.array));
    EXPECT_EQ(std::string(3000, 'n'), read_file(dest + "/client-100"));
    EXPECT_EQ("new 099", read_file(dest + "/client-099"));
    EXPECT_FALSE(qv_test::read_file(temp).size()); // moved into place
    struct stat st;
    EXPECT_NE(0, stat(temp.c_str(), &st));

    std::vector<std::string> expected = {
        "Updating file 'client-100'.",
        "Starting download of file '/downloads/kestrel_v3/client-100'.",
        "Received       3000 /       3007 bytes.",
        "Updating file 'client-099'.",
        "Starting download of file '/downloads/kestrel_v3/client-099'.",
        "Received       3007 /       3007 bytes.",
        "Saving file manifest due to completion.",
    };
    EXPECT_EQ(expected, rec.messages);
    ASSERT_FALSE(rec.bytes.empty());
    EXPECT_EQ(std::make_pair(3007.0, 3007.0), rec.bytes.back());

    // The known name kept its place; the new one went to the front.
    EXPECT_EQ("# This is an automatically generated file - do not modify\n"
              "# It contains a list of the files currently managed by the\n"
              "# updater.  Changing or deleting it may cause your next\n"
              "# update to download far more things than it needs.\n\n" +
                  HASH_B + "       3000 client-100\n" + HASH_B + "          7 client-099\n",
              read_file(manifest));
    std::string log = requested("/downloads/kestrel_v3/client-099");
    EXPECT_NE(std::string::npos, log.find("\"GET /downloads/kestrel_v3/client-100 HTTP/1.1\"")) << log;
}

TEST_F(UpdaterTest, FailedSecondOfThreeLeavesTheOthersInstalled)
{
    publish("a", "AAAA");
    publish("c", "CC");
    qfu_updater u;
    configure(u);
    entry_list list;
    list.add("a", HASH_A, 4);
    list.add("b", HASH_A, 100); // not published: 404
    list.add("c", HASH_A, 2);
    EXPECT_EQ(QFU_UPDATE_DONE, u.download_files("127.0.0.1", ROOT, &list.array));
    EXPECT_TRUE(has(rec.messages, "Unable to update file 'b' - download failed."));
    EXPECT_TRUE(has(rec.messages, "Received        104 /        106 bytes."));
    EXPECT_EQ("AAAA", read_file(dest + "/a"));
    EXPECT_EQ("CC", read_file(dest + "/c"));
    qfu_file_manifest saved;
    ASSERT_EQ(2, saved.load_file(manifest.c_str()));
    EXPECT_NE(nullptr, saved.find("a"));
    EXPECT_EQ(nullptr, saved.find("b"));
    EXPECT_EQ(std::make_pair(106.0, 106.0), rec.bytes.back());
}

TEST_F(UpdaterTest, UncreatableDirectoryIsSkippedWithoutADownload)
{
    publish("sub/deeper/file", "x");
    publish("after", "y");
    ASSERT_EQ(0, mkdir(dest.c_str(), 0700));
    // A regular file in the way: creating sub/deeper fails (not a directory).
    write_file(dest + "/sub", "a regular file where the directory should be");
    qfu_updater u;
    configure(u);
    entry_list list;
    list.add("sub/deeper/file", HASH_A, 1);
    list.add("after", HASH_A, 1);
    EXPECT_EQ(QFU_UPDATE_DONE, u.download_files("127.0.0.1", ROOT, &list.array));
    EXPECT_TRUE(has(rec.messages, "Unable to update file 'sub/deeper/file' - cannot create directory."));
    EXPECT_FALSE(has(rec.messages, "Starting download of file '/downloads/kestrel_v3/sub/deeper/file'."));
    std::string log = requested("/downloads/kestrel_v3/after");
    EXPECT_EQ(std::string::npos, log.find("sub/deeper/file")) << log;
    EXPECT_EQ("y", read_file(dest + "/after"));
}

TEST_F(UpdaterTest, UnremovableOldFileStaysAndTheDownloadWaitsInTheTemporaryFile)
{
    // As an unprivileged user: the old file lives in a read-only directory.
    publish("ro/client", "new version");
    ASSERT_EQ(0, chown(work.path().c_str(), 65534, 65534));
    std::string out = work.file("messages.txt");
    int rc = qv_test::run_in_child(
        [&]() {
            qfu_updater u;
            rec.also_to_file = out;
            configure(u);
            mkdir((dest + "/ro").c_str(), 0700);
            write_file(dest + "/ro/client", "old version");
            chmod((dest + "/ro").c_str(), 0500);
            entry_list list;
            list.add("ro/client", HASH_A, 11);
            u.download_files("127.0.0.1", ROOT, &list.array);
            chmod((dest + "/ro").c_str(), 0700);
            return 0;
        },
        true);
    ASSERT_EQ(0, rc);
    std::string said = read_file(out);
    EXPECT_NE(std::string::npos, said.find("Unable to update file 'ro/client' - cannot remove old version.\n")) << said;
    EXPECT_EQ("old version", read_file(dest + "/ro/client"));
    EXPECT_EQ("new version", read_file(temp));
}

TEST_F(UpdaterTest, PendingChangeIsSavedAfterTenSeconds)
{
    publish("first", "1");
    publish("second", std::string(200000, 's'));
    qfu_updater u;
    configure(u);
    // The clock jumps eleven seconds once the first file is in place, so the
    // next progress tick of the second download saves the manifest.
    u.set_transfer_progress_callback([](void *data, int, int) -> int {
        recorder *r = static_cast<recorder *>(data);
        if (has(r->messages, "Updating file 'second'."))
            fake_clock = 1011;
        return 0;
    });
    entry_list list;
    list.add("first", HASH_A, 1);
    list.add("second", HASH_A, 200000);
    EXPECT_EQ(QFU_UPDATE_DONE, u.download_files("127.0.0.1", ROOT, &list.array));
    EXPECT_EQ(1, count_of(rec.messages, "Saving file manifest."));
    EXPECT_EQ(1, count_of(rec.messages, "Saving file manifest due to completion."));
    qfu_file_manifest saved;
    EXPECT_EQ(2, saved.load_file(manifest.c_str()));
}

TEST_F(UpdaterTest, NoSaveWithinTenSeconds)
{
    publish("first", "1");
    publish("second", std::string(200000, 's'));
    qfu_updater u;
    configure(u);
    u.set_transfer_progress_callback([](void *, int, int) -> int {
        fake_clock = 1010; // exactly ten seconds later: not yet
        return 0;
    });
    entry_list list;
    list.add("first", HASH_A, 1);
    list.add("second", HASH_A, 200000);
    u.download_files("127.0.0.1", ROOT, &list.array);
    EXPECT_EQ(0, count_of(rec.messages, "Saving file manifest."));
    EXPECT_EQ(1, count_of(rec.messages, "Saving file manifest due to completion."));
}

TEST_F(UpdaterTest, FailedSaveEndsTheProcess)
{
    publish("a", "A");
    std::string out = work.file("messages.txt");
    int rc = qv_test::run_in_child([&]() {
        qfu_updater u;
        rec.also_to_file = out;
        u.set_message_callback(on_message);
        u.set_user_data(&rec);
        u.set_port(server.port());
        u.set_destination_directory(dest.c_str());
        u.set_temporary_file(temp.c_str());
        u.load_local_manifest(work.file("no/such/dir/update_manifest.lst").c_str());
        entry_list list;
        list.add("a", HASH_A, 1);
        u.download_files("127.0.0.1", ROOT, &list.array);
        return 0; // not reached
    });
    EXPECT_EQ(1, rc);
    EXPECT_EQ("Error - unable to save manifest file.  Bailing out.\n", read_file(out));
    EXPECT_EQ("A", read_file(dest + "/a"));
}

TEST_F(UpdaterTest, UnsafeNamesAreNeverFetchedOrWritten)
{
    publish("fine", "ok");
    publish("abs", "absolute");
    qfu_updater u;
    configure(u, false);
    const char *unsafe[] = {"../evil", "a/../../evil", "a\\..\\..\\evil", "..", "ctl\x01name", "tab\tname"};
    entry_list list;
    for (const char *name : unsafe)
        list.add(name, HASH_A, 4);
    list.add("/abs", HASH_A, 8); // a leading "/" stays inside the destination
    list.add("fine", HASH_A, 2);
    EXPECT_EQ(QFU_UPDATE_DONE, u.download_files("127.0.0.1", ROOT, &list.array));
    for (const char *name : unsafe)
        EXPECT_TRUE(has(rec.messages, std::string("Unable to update file '") + name + "' - unsafe file name."))
            << name;
    std::string log = requested("/downloads/kestrel_v3/fine");
    EXPECT_EQ(std::string::npos, log.find("evil")) << log;
    EXPECT_NE(std::string::npos, log.find("\"GET /downloads/kestrel_v3/abs HTTP/1.1\"")) << log;
    EXPECT_EQ("absolute", read_file(dest + "//abs"));
    EXPECT_EQ("ok", read_file(dest + "/fine"));
    struct stat st;
    EXPECT_NE(0, stat(work.file("evil").c_str(), &st));
}

TEST_F(UpdaterTest, DownloadOfTheWrongSizeIsNotInstalled)
{
    publish("client", "twelve bytes");
    ASSERT_EQ(0, mkdir(dest.c_str(), 0700));
    write_file(dest + "/client", "old");
    write_file(manifest, HASH_A + "          3 client\n");
    qfu_updater u;
    configure(u, false);
    entry_list list;
    list.add("client", HASH_B, 10);
    EXPECT_EQ(QFU_UPDATE_DONE, u.download_files("127.0.0.1", ROOT, &list.array));
    EXPECT_EQ(std::vector<std::string>{"Unable to update file 'client' - download failed."}, rec.messages);
    EXPECT_EQ("old", read_file(dest + "/client"));
    qfu_file_manifest saved;
    ASSERT_EQ(1, saved.load_file(manifest.c_str()));
    EXPECT_EQ(HASH_A, saved.find("client")->hash);
}

TEST_F(UpdaterTest, NeedsUpdateComparesSizeAndExactHash)
{
    ASSERT_EQ(0, mkdir(dest.c_str(), 0700));
    write_file(dest + "/kept", "k");
    write_file(manifest, HASH_A + "          1 kept\n" + HASH_A + "          1 deleted\n");
    qfu_updater u;
    configure(u);
    EXPECT_TRUE(has(rec.messages, "Some files were deleted.  Only 1 entries remain."));
    struct {
        const char *name;
        std::string hash;
        int size;
        int needs;
    } cases[] = {
        {"kept", HASH_A, 1, 0},
        {"kept", "AAAAAAAAAA0000000001", 1, 1}, // letter case counts
        {"kept", HASH_A, 2, 1},
        {"deleted", HASH_A, 1, 1}, // pruned at load
    };
    for (const auto &c : cases) {
        qfu_manifest_entry *e = qfu_new_manifest_entry(c.name, c.hash.c_str(), c.size);
        EXPECT_EQ(c.needs, u.needs_update(e)) << c.name << " " << c.hash << " " << c.size;
        qfu_free_manifest_entry(e);
    }
    EXPECT_TRUE(has(rec.messages, "File 'deleted' missing, should update."));
}

TEST_F(UpdaterTest, DownloadFilesRefusesToStartWithoutAUsableSetUp)
{
    write_file(work.file("blocker"), "a file, not a directory");
    struct {
        const char *name;
        std::string temp;
        std::string destination;
        int code;
        const char *message;
    } cases[] = {
        {"no temporary file", "", "d", QFU_NO_TEMPORARY_FILE, "No temporary download filename set."},
        {"unwritable temporary file", work.file("blocker/tmp"), "d", QFU_UNWRITEABLE, "Temporary file unwriteable."},
        {"no destination", work.file("t.tmp"), "", QFU_NO_DESTINATION,
         "No destination path set to store downloaded files."},
        {"unwritable destination", work.file("t.tmp"), work.file("blocker/dest"), QFU_UNWRITEABLE,
         "Download base path appears to be unwriteable."},
    };
    for (const auto &c : cases) {
        recorder r;
        qfu_updater u;
        u.set_message_callback(on_message);
        u.set_user_data(&r);
        if (!c.temp.empty())
            u.set_temporary_file(c.temp.c_str());
        if (!c.destination.empty())
            u.set_destination_directory(c.destination == "d" ? dest.c_str() : c.destination.c_str());
        u.load_local_manifest(manifest.c_str());
        entry_list list;
        list.add("a", HASH_A, 1);
        EXPECT_EQ(c.code, u.download_files("127.0.0.1", ROOT, &list.array)) << c.name;
        EXPECT_EQ(std::vector<std::string>{c.message}, r.messages) << c.name;
    }
}

TEST_F(UpdaterTest, RunUpdateFetchesComparesSkipsAndDownloads)
{
    publish("client-100", "hundred");
    publish("client-099", "ninety-nine");
    publish("tools.bin", "tools");
    publish("manifest.txt.gz", gzip("# published\n" + HASH_A + "          7 client-100\n" + HASH_A +
                                     "         11 client-099\n" + HASH_A + "          5 tools.bin\n"));
    write_file(work.file("exclude.txt"), "# never\n\n  tools.bin\n");
    qfu_updater u;
    configure(u);
    EXPECT_EQ(1, u.load_exclude_manifest(work.file("exclude.txt").c_str()));
    EXPECT_EQ(0, u.load_exclude_manifest(work.file("missing.txt").c_str()));
    EXPECT_EQ(QFU_UPDATE_DONE, u.run_update("127.0.0.1", ROOT, "manifest.txt.gz"));
    EXPECT_TRUE(has(rec.messages, "Loaded 1 entries from current exclude manifest file '" + work.file("exclude.txt") +
                                      "'."));
    EXPECT_TRUE(has(rec.messages, "Retrieved 3 records from remote server."));
    EXPECT_TRUE(has(rec.messages, "Skipping file 'tools.bin'."));
    EXPECT_TRUE(has(rec.messages, "2 files to update."));
    EXPECT_EQ("hundred", read_file(dest + "/client-100"));
    EXPECT_EQ("ninety-nine", read_file(dest + "/client-099"));
    struct stat st;
    EXPECT_NE(0, stat((dest + "/tools.bin").c_str(), &st));

    // A second run finds everything current.
    recorder again;
    qfu_updater v;
    v.set_verbose(1);
    v.set_message_callback(on_message);
    v.set_user_data(&again);
    v.set_port(server.port());
    v.set_destination_directory(dest.c_str());
    v.set_temporary_file(temp.c_str());
    v.load_local_manifest(manifest.c_str());
    v.load_exclude_manifest(work.file("exclude.txt").c_str());
    EXPECT_EQ(QFU_UPDATE_DONE, v.run_update("127.0.0.1", ROOT, "manifest.txt.gz"));
    EXPECT_TRUE(has(again.messages, "Everything appears to be up to date already."));
    EXPECT_FALSE(has(again.messages, "One file to update."));
}

TEST_F(UpdaterTest, RunUpdateCodesWhenItCannotStart)
{
    recorder r;
    qfu_updater u;
    u.set_message_callback(on_message);
    u.set_user_data(&r);
    u.set_port(server.port());
    EXPECT_EQ(QFU_NO_MANIFEST_FILE, u.run_update("127.0.0.1", ROOT, "manifest.txt.gz"));
    u.load_local_manifest(manifest.c_str());
    EXPECT_EQ(QFU_NO_TEMPORARY_FILE, u.run_update("127.0.0.1", ROOT, "manifest.txt.gz"));
    u.set_temporary_file(temp.c_str());
    EXPECT_EQ(QFU_NO_DESTINATION, u.run_update("127.0.0.1", ROOT, "manifest.txt.gz"));
    u.set_destination_directory(dest.c_str());
    EXPECT_EQ(QFU_FETCH_FAILED, u.run_update("127.0.0.1", ROOT, "missing.txt.gz"));
    std::vector<std::string> expected = {
        "No manifest filename set.", "No temporary download filename set.",
        "No destination path set to store downloaded files.",
        "Error fetching update file 'missing.txt.gz' from remote server, aborting update."};
    EXPECT_EQ(expected, r.messages);
}
