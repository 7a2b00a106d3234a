/* A tree-walk visitor written in C through the table view of
 * IFileSystemVisitor: proves the slot order a C caller relies on. */
#include <string.h>

#include "corvane/fs.h"

typedef struct counting_visitor {
    IFileSystemVisitor base; /* first: the walk sees only this */
    int files;
    int folders;
    int last_root_matches;
} counting_visitor;

static bool query(IFileSystemVisitor* self, const char* name, void** out) {
    (void)self;
    (void)name;
    (void)out;
    return false;
}

static uint32_t add_ref(IFileSystemVisitor* self) {
    (void)self;
    return 1;
}

static uint32_t release(IFileSystemVisitor* self) {
    (void)self;
    return 1;
}

static const char* expected_root;

static void on_file(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    counting_visitor* visitor = (counting_visitor*)self;
    (void)relative_path;
    visitor->files++;
    visitor->last_root_matches = strcmp(root, expected_root) == 0;
}

static void on_folder(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    counting_visitor* visitor = (counting_visitor*)self;
    (void)relative_path;
    visitor->folders++;
    visitor->last_root_matches = strcmp(root, expected_root) == 0;
}

static const IFileSystemVisitorVtbl counting_table = {query, add_ref, release, on_file, on_folder};

/* Walks `root` and stores the counts of files and folders reported; returns
 * whether every report carried `completed_root`. */
int walk_with_c_visitor(const char* root, const char* completed_root, int* files, int* folders) {
    counting_visitor visitor;
    visitor.base.vtbl = &counting_table;
    visitor.files = 0;
    visitor.folders = 0;
    visitor.last_root_matches = 1;
    expected_root = completed_root;
    os_filesystem_walk_through("", root, &visitor.base);
    *files = visitor.files;
    *folders = visitor.folders;
    return visitor.last_root_matches;
}
