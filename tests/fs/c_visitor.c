/* A tree-walk visitor written in C through the table view of
 * IFileSystemVisitor: proves the slot order a C caller relies on. */
#include <string.h>

#include "corvane/fs.h"

typedef struct counting_visitor {
    IFileSystemVisitor base; /* first: the walk sees only this */
    const char* expected_root;
    int count; /* files + 100 * folders; -1 once a report carried another root */
} counting_visitor;

static bool query(IFileSystemVisitor* self, const char* name, void** out) {
    (void)self, (void)name, (void)out;
    return false;
}

static uint32_t fixed_count(IFileSystemVisitor* self) {
    (void)self;
    return 1;
}

static void count(IFileSystemVisitor* self, const char* root, int weight) {
    counting_visitor* v = (counting_visitor*)self;
    v->count = v->count < 0 || strcmp(root, v->expected_root) != 0 ? -1 : v->count + weight;
}

static void on_file(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    (void)relative_path;
    count(self, root, 1);
}

static void on_folder(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    (void)relative_path;
    count(self, root, 100);
}

static const IFileSystemVisitorVtbl counting_table = {query, fixed_count, fixed_count, on_file, on_folder};

/* Walks `root`: files + 100 * folders reported, or -1 if a report did not
 * carry `completed_root`. */
int walk_with_c_visitor(const char* root, const char* completed_root) {
    counting_visitor visitor = {{&counting_table}, completed_root, 0};
    os_filesystem_walk_through("", root, &visitor.base);
    return visitor.count;
}
