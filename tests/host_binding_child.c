/*
 * A host that loads the driver the way plug-in hosts often do: a plain C
 * program whose global scope holds the C library (and so the C library's
 * `err`, which prints and exits), loading the driver with RTLD_LOCAL.
 *
 * Usage: host_binding_child DRIVER VELDAN preload|pulled
 *   preload: load the host library RTLD_LOCAL first, then the driver;
 *   pulled:  load the driver alone and let it pull the host library in.
 * Prints what it saw, one item a line, and "CHILD DONE" as its last line;
 * exits 0 only if every step worked.
 */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "telmor/vpi.h"

typedef int32_t (*VpiMainFn)(VpiCallBlock*);
typedef size_t (*LogCountFn)(void);
typedef int (*GetLogLineFn)(size_t, int*, char*, size_t);

/* dlsym returns an object pointer; copy its bits into the function pointer. */
#define RESOLVE(handle, name, fn) memcpy(&(fn), &(void*){dlsym((handle), (name))}, sizeof(fn))

static int Fail(const char* what) {
    const char* reason = dlerror();
    printf("FAIL %s: %s\n", what, reason != NULL ? reason : "not found");
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        printf("usage: %s DRIVER VELDAN preload|pulled\n", argv[0]);
        return 2;
    }
    const char* driverPath = argv[1];
    const char* veldanPath = argv[2];
    const int preload = strcmp(argv[3], "preload") == 0;

    /* The hostile part: the C library's `err` is in the global scope. */
    printf("GLOBAL_ERR %s\n", dlsym(RTLD_DEFAULT, "err") != NULL ? "present" : "absent");

    void* veldan = NULL;
    if (preload && (veldan = dlopen(veldanPath, RTLD_NOW | RTLD_LOCAL)) == NULL) return Fail("dlopen veldan");
    void* driver = dlopen(driverPath, RTLD_NOW | RTLD_LOCAL);
    if (driver == NULL) return Fail("dlopen driver");
    /* Already loaded as the driver's dependency: this is the same object. */
    if (!preload && (veldan = dlopen(veldanPath, RTLD_NOW | RTLD_LOCAL)) == NULL)
        return Fail("dlopen veldan");

    VpiMainFn vpiMain = NULL;
    LogCountFn logCount = NULL;
    GetLogLineFn getLogLine = NULL;
    RESOLVE(driver, "VpiMain", vpiMain);
    RESOLVE(veldan, "VeldanLogCount", logCount);
    RESOLVE(veldan, "VeldanGetLogLine", getLogLine);
    if (vpiMain == NULL) return Fail("VpiMain");
    if (logCount == NULL || getLogLine == NULL) return Fail("veldan API");

    VpiInfo info;
    memset(&info, 0, sizeof info);
    VpiCallBlock call;
    memset(&call, 0, sizeof call);
    call.commandCode = VPI_GET_VPI_INFO;
    call.paramSize = (uint32_t)sizeof info;
    call.params = &info;
    printf("RESULT %d\n", (int)vpiMain(&call));
    printf("CONTEXT_SIZE %u\n", (unsigned)info.contextSize);

    const size_t count = logCount();
    for (size_t i = 0; i < count; ++i) {
        int level = 0;
        char text[1024];
        if (getLogLine(i, &level, text, sizeof text) == 0) printf("LOG %d %s\n", level, text);
    }
    printf("CHILD DONE\n");
    fflush(stdout);
    return 0;
}
