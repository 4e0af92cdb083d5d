// The manifest line syntax, the local manifest file and the list operations.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "update/file_manifest.h"

using qv_test::log_capture;
using qv_test::read_file;
using qv_test::temp_dir;
using qv_test::write_file;

static const std::string header = "# This is an automatically generated file - do not modify\n"
                                  "# It contains a list of the files currently managed by the\n"
                                  "# updater.  Changing or deleting it may cause your next\n"
                                  "# update to download far more things than it needs.\n"
                                  "\n";

static const std::string hash20 = "0123456789abcdef0123";

struct listed {
    std::string name, hash;
    int size;
    bool operator==(const listed &o) const { return name == o.name && hash == o.hash && size == o.size; }
};

static std::ostream &operator<<(std::ostream &os, const listed &e)
{
    return os << "{" << e.name << ", " << e.hash << ", " << e.size << "}";
}

static std::vector<listed> entries_of(const qfu_file_manifest &m)
{
    std::vector<listed> out;
    for (const qfu_manifest_entry *e = m.head; e; e = e->next)
        out.push_back({e->name, e->hash ? e->hash : "(none)", e->size});
    return out;
}

static std::string syntax_report(const std::string &label, const std::string &problem, const std::string &line)
{
    return "Syntax error in " + label + " - " + problem + " for line:\n" + line + "\n";
}

TEST(ManifestLine, Table)
{
    const std::string bad_hash = "bad or missing hash field";
    const std::string bad_size = "bad or missing file size";
    const std::string no_name = "missing file name";
    struct {
        std::string line;
        int result;
        bool entry;
        std::string hash;
        int size;
        std::string name;
        std::string problem; // "" for good lines
    } cases[] = {
        {"  0123456789 42 dir/my file.bin", 1, true, "0123456789", 42, "dir/my file.bin", ""},
        {"0123456789 +42 a", 1, true, "0123456789", 42, "a", ""},
        {"0123456789 -7 a", 1, true, "0123456789", -7, "a", ""},
        {"0123456789 + a", 1, true, "0123456789", 0, "a", ""},
        {"0123456789 42abc a", 1, true, "0123456789", 42, "a", ""},
        {"0123456789 99999999999 a", 1, true, "0123456789", 2147483647, "a", ""},
        {"0123456789 -2147483648 a", 1, true, "0123456789", -2147483648, "a", ""},
        {"\t0123456789zz!\t\n 5 \t name  with\ttabs \t", 1, true, "0123456789zz!", 5, "name  with\ttabs \t", ""},
        {"0123456789ABCDEF 1 a", 1, true, "0123456789ABCDEF", 1, "a", ""},
        {"0123456789 1 name\r", 1, true, "0123456789", 1, "name\r", ""},
        {"", 1, false, "", 0, "", ""},
        {" \t ", 1, false, "", 0, "", ""},
        {"  # 0123456789 1 a", 1, false, "", 0, "", ""},
        {"#", 1, false, "", 0, "", ""},
        {"0123456789 x42 a", 0, false, "", 0, "", bad_size},
        {"0123456789 - a", 0, false, "", 0, "", bad_size},
        {"ABCDEF0123456789 1 a", 0, false, "", 0, "", bad_hash},
        {"01234abc 1 a", 0, false, "", 0, "", bad_hash},
        {"012345678g 1 a", 0, false, "", 0, "", bad_hash},
        {"  012345678", 0, false, "", 0, "", bad_hash},
        {hash20, 0, false, "", 0, "", bad_size},
        {hash20 + " ", 0, false, "", 0, "", bad_size},
        {hash20 + " 42", 0, false, "", 0, "", no_name},
        {hash20 + " 42 \t ", 0, false, "", 0, "", no_name},
    };
    for (const auto &c : cases) {
        log_capture cap;
        qfu_manifest_entry *entry = (qfu_manifest_entry *)1;
        EXPECT_EQ(c.result, parse_manifest_line("test label", c.line.c_str(), &entry)) << c.line;
        ASSERT_EQ(c.entry, entry != nullptr) << c.line;
        if (entry) {
            EXPECT_EQ(c.hash, entry->hash) << c.line;
            EXPECT_EQ(c.size, entry->size) << c.line;
            EXPECT_EQ(c.name, entry->name) << c.line;
            EXPECT_EQ(nullptr, entry->next);
        }
        qfu_free_manifest_entry(entry);
        EXPECT_EQ(c.problem.empty() ? "" : syntax_report("test label", c.problem, c.line), cap.text()) << c.line;
    }
}

TEST(ManifestLine, LongFieldsAreKeptOrCutAtTheBufferLimit)
{
    // A name is the whole rest of the line, however long.
    std::string long_name(7000, 'n');
    qfu_manifest_entry *entry = nullptr;
    ASSERT_EQ(1, parse_manifest_line("x", (hash20 + " 1 " + long_name).c_str(), &entry));
    EXPECT_EQ(long_name, entry->name);
    qfu_free_manifest_entry(entry);

    // A hash text keeps its first 5999 characters.
    std::string long_hash = "0123456789" + std::string(6990, 'h');
    ASSERT_EQ(1, parse_manifest_line("x", (long_hash + " 1 a").c_str(), &entry));
    EXPECT_EQ(long_hash.substr(0, 5999), entry->hash);
    EXPECT_EQ(std::string("a"), entry->name);
    qfu_free_manifest_entry(entry);
}

TEST(ManifestLine, KnownLengthStopsAtLengthAndAtNul)
{
    std::string text = hash20 + " 7 name-and-more";
    qfu_manifest_entry *entry = nullptr;
    ASSERT_EQ(1, parse_manifest_text("x", text.c_str(), (int)text.size() - 9, &entry));
    EXPECT_EQ(std::string("name"), entry->name);
    qfu_free_manifest_entry(entry);

    std::string with_nul = hash20 + " 7 ab" + std::string(1, '\0') + "cd";
    ASSERT_EQ(1, parse_manifest_text("x", with_nul.data(), (int)with_nul.size(), &entry));
    EXPECT_EQ(std::string("ab"), entry->name);
    qfu_free_manifest_entry(entry);

    // The field checks never read past the end of a text that is cut short.
    log_capture cap;
    ASSERT_EQ(0, parse_manifest_text("x", text.c_str(), 5, &entry));
    EXPECT_EQ(syntax_report("x", "bad or missing hash field", "01234"), cap.text());
}

TEST(ManifestFile, SaveWritesTheExactFormatAndReloadsInOrder)
{
    temp_dir dir;
    std::string path = dir.file("update_manifest.lst");
    {
        qfu_file_manifest m;
        // New names go to the front: added in reverse, saved in this order.
        qfu_manifest_entry c = {(char *)"zeta/last file", (char *)"ffffffffff0000000000abc", -7, nullptr};
        qfu_manifest_entry b = {(char *)"big", (char *)"aaaaaaaaaabbbbbbbbbb", 2147483647, nullptr};
        qfu_manifest_entry a = {(char *)"client-100", (char *)hash20.c_str(), 42, nullptr};
        for (auto *e : {&c, &b, &a})
            ASSERT_EQ(1, m.add_or_update(e));
        log_capture cap;
        ASSERT_EQ(1, m.save_file(path.c_str()));
        EXPECT_EQ("", cap.text());
    }
    EXPECT_EQ(header + hash20 + "         42 client-100\n" + "aaaaaaaaaabbbbbbbbbb 2147483647 big\n" +
                  "ffffffffff0000000000abc         -7 zeta/last file\n",
              read_file(path));
    // No temporary file is left beside the manifest.
    EXPECT_FALSE(access((path + ".tmp").c_str(), F_OK) == 0);

    qfu_file_manifest loaded;
    EXPECT_EQ(3, loaded.load_file(path.c_str()));
    std::vector<listed> expected = {
        {"client-100", hash20, 42}, {"big", "aaaaaaaaaabbbbbbbbbb", 2147483647}, {"zeta/last file", "ffffffffff0000000000abc", -7}};
    EXPECT_EQ(expected, entries_of(loaded));
    ASSERT_NE(nullptr, loaded.find("big"));
    EXPECT_EQ(2147483647, loaded.find("big")->size);
    EXPECT_EQ(nullptr, loaded.find("bi"));
    EXPECT_EQ(nullptr, loaded.find(nullptr));

    // Saving the loaded manifest gives the same bytes again.
    std::string again = dir.file("again.lst");
    ASSERT_EQ(1, loaded.save_file(again.c_str()));
    EXPECT_EQ(read_file(path), read_file(again));
}

TEST(ManifestFile, HeaderOnlyCommentsAndCrLfLoad)
{
    temp_dir dir;
    qfu_file_manifest empty;
    write_file(dir.file("empty.lst"), header);
    EXPECT_EQ(0, empty.load_file(dir.file("empty.lst").c_str()));
    EXPECT_EQ(nullptr, empty.head);

    // CR LF gives the line and an empty line; the CR never reaches a name.
    qfu_file_manifest m;
    write_file(dir.file("crlf.lst"), "# c\r\n\r\n  " + hash20 + " 1 a b\r\n" + hash20 + "\t2\tc");
    EXPECT_EQ(2, m.load_file(dir.file("crlf.lst").c_str()));
    std::vector<listed> expected = {{"a b", hash20, 1}, {"c", hash20, 2}};
    EXPECT_EQ(expected, entries_of(m));
}

TEST(ManifestFile, MissingFileFailsSilently)
{
    temp_dir dir;
    log_capture cap;
    qfu_file_manifest m;
    EXPECT_EQ(-1, m.load_file(dir.file("missing.lst").c_str()));
    EXPECT_EQ("", cap.text());
}

TEST(ManifestFile, SyntaxErrorInThirdLineKeepsTheFirstTwo)
{
    temp_dir dir;
    std::string bad = hash20 + " 3";
    write_file(dir.file("m.lst"), header + hash20 + " 1 one\n" + hash20 + " 2 two\n" + bad + "\n" + hash20 + " 4 four\n");
    log_capture cap;
    qfu_file_manifest m;
    EXPECT_EQ(-1, m.load_file(dir.file("m.lst").c_str()));
    std::vector<listed> expected = {{"one", hash20, 1}, {"two", hash20, 2}};
    EXPECT_EQ(expected, entries_of(m));
    EXPECT_NE(nullptr, m.find("two"));
    EXPECT_EQ(nullptr, m.find("four"));
    EXPECT_EQ(syntax_report("file manifest", "missing file name", bad), cap.text());
}

TEST(ManifestFile, ShortHashIsReportedAndWritten)
{
    temp_dir dir;
    qfu_file_manifest m;
    qfu_manifest_entry e = {(char *)"short", (char *)"0123456789ab", 5, nullptr};
    m.add_or_update(&e);
    log_capture cap;
    ASSERT_EQ(1, m.save_file(dir.file("m.lst").c_str()));
    EXPECT_EQ("Error in qfu_file_manifest::save_file(), file 'short' had short hash len of 12.\n\n", cap.text());
    EXPECT_EQ(header + "0123456789ab          5 short\n", read_file(dir.file("m.lst")));
}

TEST(ManifestFile, FailedSaveLeavesTheOldManifest)
{
    temp_dir dir;
    std::string path = dir.file("m.lst");
    write_file(path, "old contents\n");
    qfu_file_manifest m;
    qfu_manifest_entry e = {(char *)"a", (char *)hash20.c_str(), 1, nullptr};
    m.add_or_update(&e);
    std::string report = "Error in qfu_file_manifest::save_file() - unable to save file '" + path + "'.\n";

    // A full disk: every write fails once the data is flushed.
    ASSERT_EQ(0, symlink("/dev/full", (path + ".tmp").c_str()));
    {
        log_capture cap;
        EXPECT_EQ(0, m.save_file(path.c_str()));
        EXPECT_EQ(report, cap.text());
    }
    EXPECT_EQ("old contents\n", read_file(path));

    // A directory that cannot be written to.
    chmod(dir.path().c_str(), 0555);
    log_capture cap;
    int rc = qv_test::run_in_child([&] { return m.save_file(path.c_str()); }, true);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(report, cap.text());
    EXPECT_EQ("old contents\n", read_file(path));

    // And the same manifest saves well where it can.
    EXPECT_EQ(1, m.save_file(path.c_str()));
    EXPECT_EQ(header + hash20 + "          1 a\n", read_file(path));
}

TEST(ManifestList, AddOrUpdateKeepsPlaceAndPutsNewNamesFirst)
{
    temp_dir dir;
    std::string path = dir.file("m.lst");
    write_file(path, header + hash20 + " 1 one\n" + hash20 + " 2 two\n");
    qfu_file_manifest m;
    ASSERT_EQ(2, m.load_file(path.c_str()));

    qfu_manifest_entry update = {(char *)"two", (char *)"ffffffffff0000000000", 22, nullptr};
    qfu_manifest_entry added = {(char *)"three", (char *)"eeeeeeeeee0000000000", 3, nullptr};
    qfu_manifest_entry no_hash = {(char *)"one", nullptr, 11, nullptr};
    EXPECT_EQ(1, m.add_or_update(&update));
    EXPECT_EQ(1, m.add_or_update(&added));
    EXPECT_EQ(1, m.add_or_update(&no_hash));
    std::vector<listed> expected = {
        {"three", "eeeeeeeeee0000000000", 3}, {"one", "(none)", 11}, {"two", "ffffffffff0000000000", 22}};
    EXPECT_EQ(expected, entries_of(m));
    EXPECT_EQ(m.find("three"), m.head);
    // The manifest holds its own copies.
    EXPECT_NE(added.name, m.head->name);

    log_capture cap;
    qfu_manifest_entry nameless = {nullptr, (char *)"x", 1, nullptr};
    EXPECT_EQ(0, m.add_or_update(&nameless));
    EXPECT_EQ(0, m.add_or_update(nullptr));
    EXPECT_EQ(3u, entries_of(m).size());
}

TEST(ManifestList, DuplicateNamesStayTwice)
{
    temp_dir dir;
    std::string body = hash20 + "          1 twice\n" + "ffffffffff0000000000          2 twice\n";
    write_file(dir.file("m.lst"), header + body);
    qfu_file_manifest m;
    ASSERT_EQ(2, m.load_file(dir.file("m.lst").c_str()));
    ASSERT_NE(nullptr, m.find("twice"));
    EXPECT_EQ(2, m.index.count);
    ASSERT_EQ(1, m.save_file(dir.file("again.lst").c_str()));
    EXPECT_EQ(header + body, read_file(dir.file("again.lst")));
    // Pruning removes both from the list and the index.
    EXPECT_EQ(0, m.prune_missing(dir.path().c_str()));
    EXPECT_EQ(0, m.index.count);
    EXPECT_EQ(nullptr, m.find("twice"));
}

TEST(ManifestList, PruneKeepsRegularFilesOnly)
{
    temp_dir dir;
    mkdir(dir.file("base").c_str(), 0755);
    mkdir(dir.file("base/sub").c_str(), 0755);
    mkdir(dir.file("base/a-directory").c_str(), 0755);
    write_file(dir.file("base/present"), "x");
    write_file(dir.file("base/sub/deep file"), "x");
    symlink(dir.file("base/present").c_str(), dir.file("base/link").c_str());
    symlink(dir.file("base/nowhere").c_str(), dir.file("base/dangling").c_str());
    std::string text = header;
    for (const char *name : {"present", "missing", "sub/deep file", "a-directory", "link", "dangling"})
        text += hash20 + " 1 " + name + "\n";
    write_file(dir.file("m.lst"), text);
    std::vector<listed> kept = {{"present", hash20, 1}, {"sub/deep file", hash20, 1}, {"link", hash20, 1}};

    qfu_file_manifest with_base;
    ASSERT_EQ(6, with_base.load_file(dir.file("m.lst").c_str()));
    EXPECT_EQ(3, with_base.prune_missing(dir.file("base").c_str()));
    EXPECT_EQ(kept, entries_of(with_base));
    EXPECT_EQ(nullptr, with_base.find("missing"));
    EXPECT_EQ(3, with_base.index.count);

    // Without a directory (null or empty) the bare names are tested against
    // the current directory.
    char old_cwd[4096];
    ASSERT_NE(nullptr, getcwd(old_cwd, sizeof old_cwd));
    ASSERT_EQ(0, chdir(dir.file("base").c_str()));
    qfu_file_manifest bare, null_dir;
    ASSERT_EQ(6, bare.load_file(dir.file("m.lst").c_str()));
    ASSERT_EQ(6, null_dir.load_file(dir.file("m.lst").c_str()));
    int bare_kept = bare.prune_missing("");
    int null_kept = null_dir.prune_missing(nullptr);
    ASSERT_EQ(0, chdir(old_cwd));
    EXPECT_EQ(3, bare_kept);
    EXPECT_EQ(3, null_kept);
    EXPECT_EQ(kept, entries_of(bare));
    EXPECT_EQ(kept, entries_of(null_dir));

    // From the wrong directory nothing is found.
    qfu_file_manifest elsewhere;
    ASSERT_EQ(6, elsewhere.load_file(dir.file("m.lst").c_str()));
    EXPECT_EQ(0, elsewhere.prune_missing(dir.path().c_str()));
    EXPECT_EQ(nullptr, elsewhere.head);
}
