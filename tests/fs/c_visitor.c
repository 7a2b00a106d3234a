/* A tree-walk visitor written in C through the table view of
 * IFileSystemVisitor: proves the slot order a C caller relies on. */
#include <string.h>

#include "corvane/fs.h"

typedef struct counting_visitor {
    IFileSystemVisitor base; /* first: the walk sees only this */
    const char* expected_root;
    int counts[2]; /* files, folders */
    int roots_match;
} counting_visitor;

static bool query(IFileSystemVisitor* self, const char* name, void** out) {
    (void)self, (void)name, (void)out;
    return false;
}

static uint32_t fixed_count(IFileSystemVisitor* self) {
    (void)self;
    return 1;
}

static void count(IFileSystemVisitor* self, const char* root, int kind) {
    counting_visitor* visitor = (counting_visitor*)self;
    ++visitor->counts[kind];
    visitor->roots_match = visitor->roots_match && strcmp(root, visitor->expected_root) == 0;
}

static void on_file(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    (void)relative_path;
    count(self, root, 0);
}

static void on_folder(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    (void)relative_path;
    count(self, root, 1);
}

static const IFileSystemVisitorVtbl counting_table = {query, fixed_count, fixed_count, on_file, on_folder};

/* Walks `root` and stores the counts of files and folders reported; returns
 * whether every report carried `completed_root`. */
int walk_with_c_visitor(const char* root, const char* completed_root, int* files, int* folders) {
    counting_visitor visitor = {{&counting_table}, completed_root, {0, 0}, 1};
    os_filesystem_walk_through("", root, &visitor.base);
    *files = visitor.counts[0];
    *folders = visitor.counts[1];
    return visitor.roots_match;
}
