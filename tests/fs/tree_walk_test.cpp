// The tree walk over real folder trees in a private folder.

#include <set>
#include <sstream>
#include <vector>

#include "fs_test_files.hpp"

// In c_visitor.c: files + 100 * folders reported, or -1 for a wrong root.
extern "C" int walk_with_c_visitor(const char* root, const char* completed_root);

namespace {

// Keeps every report as "D:relative" or "F:relative", in order, and every root.
struct recording_visitor final : IFileSystemVisitor {
    bool Query(const char*, void**) override { return false; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnFile(const char* relative, const char* root) override { add("F:", relative, root); }
    void OnFolder(const char* relative, const char* root) override { add("D:", relative, root); }
    void add(const char* kind, const char* relative, const char* root) {
        seen.push_back(kind + std::string(relative));
        roots.insert(root);
    }
    std::vector<std::string> seen;
    std::set<std::string> roots;
};

}  // namespace

// Links are reported as files and never entered: no loops, no escape.
TEST(TreeWalk, ReportsEachFolderBeforeItsContentWithinItsDepth) {
    temp_folder folder;
    const std::string tree = folder.join("linked");
    make_sample_tree(tree);
    make_sample_tree(folder.join("top"));
    const bool links = make_link("..", tree + "/sub/loop", true) && make_link(folder.join("top"), tree + "/away", true);
    const std::string s(1, path_separator), all = "D: D:empty D:sub D:sub/deeper F:.hidden-file F:top.txt ";
    // Expected reports: space-separated, '/' standing for the separator the walk inserts.
    const struct {
        const char* start;
        std::string root, completed_root;
        uint32_t depth;
        std::string expected;
        const char* reason;
    } cases[] = {
        {"", tree, tree + s, 0xFFFFFFFFu, all + "F:sub/inner.txt F:sub/deeper/leaf.txt" + (links ? " F:sub/loop F:away" : ""),
         "dot folders are skipped, dot files reported"},
        {"top\\sub", folder.path() + "\\", folder.path() + "\\", 0xFFFFFFFFu,
         "D:top\\sub D:top\\sub/deeper F:top\\sub/inner.txt F:top\\sub/deeper/leaf.txt", "start folder and root keep their spelling"},
        {"top", "", "", 1, "D:top D:top/empty D:top/sub F:top/.hidden-file F:top/top.txt",
         "an empty root is the current folder; depth 1 reports sub-folders unsearched"},
        {"", tree + "/", tree + "/", 0, "D:", "depth 0 reports the start only"},
        {"not-there", tree, tree + s, 0xFFFFFFFFu, "D:not-there", "a missing start is reported once"},
    };
    for (const auto& row : cases) {
        recording_visitor visitor;
        in_folder(folder.path(), [&] { os_filesystem_walk_through_ex(row.start, row.root.c_str(), row.depth, &visitor); });
        std::string text = row.expected;
        std::replace(text.begin(), text.end(), '/', path_separator);
        std::istringstream words(text);
        EXPECT_EQ(std::multiset<std::string>(visitor.seen.begin(), visitor.seen.end()),
                  std::multiset<std::string>(std::istream_iterator<std::string>(words), {})) << row.reason;
        EXPECT_EQ(visitor.roots, std::set<std::string>{row.completed_root}) << row.reason;
        ASSERT_EQ(visitor.seen.front(), "D:" + std::string(row.start)) << row.reason;
        for (size_t i = 1; i < visitor.seen.size(); ++i) {  // pre-order: each entry's folder came first
            const size_t cut = visitor.seen[i].rfind(path_separator);
            const std::string holder = "D:" + visitor.seen[i].substr(2, cut == std::string::npos ? 0 : cut - 2);
            EXPECT_NE(std::find(visitor.seen.begin(), visitor.seen.begin() + i, holder), visitor.seen.begin() + i) << holder;
        }
    }
    EXPECT_EQ(walk_with_c_visitor(tree.c_str(), (tree + s).c_str()), links ? 406 : 404) << "a C caller's visitor";
}
