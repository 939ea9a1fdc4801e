#include "app/start_up.h"

#include <sys/prctl.h>

int main(int argc, char** argv) {
    // The process holds the database password for as long as it runs: no core file and no
    // debugger of the same user may read it out of its memory.
    ::prctl(PR_SET_DUMPABLE, 0);
    return app::Main(argc, argv);
}
