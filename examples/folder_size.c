/* Adds up the sizes of the files in a folder tree with a tree-walk visitor
 * written in C.
 *
 *     corvane_folder_size [FOLDER]      (default: the current folder)
 */
#include <stdio.h>
#include <string.h>

#include <corvane/corvane.h>

/* The visitor: the interface table first, then the walk's running totals. */
typedef struct {
    IFileSystemVisitor base;
    unsigned long long bytes;
    unsigned long files;
    unsigned long folders;
} size_visitor;

static bool query(IFileSystemVisitor* self, const char* name, void** out) {
    (void)self;
    (void)name;
    *out = NULL;
    return false;
}

/* The walk borrows the visitor; it lives on main's stack, so counting is moot. */
static uint32_t add_ref(IFileSystemVisitor* self) {
    (void)self;
    return 1;
}

static uint32_t release(IFileSystemVisitor* self) {
    (void)self;
    return 1;
}

static void on_file(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    size_visitor* totals = (size_visitor*)self;
    char path[4096];
    FILE* file;
    snprintf(path, sizeof path, "%s%s", root, relative_path);
    file = fopen(path, "rb");
    if (file != NULL) {
        if (fseek(file, 0, SEEK_END) == 0 && ftell(file) > 0) {
            totals->bytes += (unsigned long long)ftell(file);
        }
        fclose(file);
    }
    ++totals->files;
}

static void on_folder(IFileSystemVisitor* self, const char* relative_path, const char* root) {
    (void)relative_path;
    (void)root;
    ++((size_visitor*)self)->folders;
}

int main(int argc, char** argv) {
    static const IFileSystemVisitorVtbl table = {query, add_ref, release, on_file, on_folder};
    size_visitor visitor;
    const char* folder = argc > 1 ? argv[1] : ".";

    memset(&visitor, 0, sizeof visitor);
    visitor.base.vtbl = &table;
    os_filesystem_walk_through("", folder, &visitor.base);
    printf("%s: %llu bytes in %lu files, %lu folders\n", folder, visitor.bytes, visitor.files,
           visitor.folders);
    return 0;
}
