/* Compiles the host headers as plain C; on a 32-bit build the layout
 * assertions inside vpi.h are evaluated here as well. */
#include "telmor/vpi.h"
#include "veldan/veldan.h"

int telmor_header_c_check(void) {
    VpiCallBlock block = {0};
    block.commandCode = VPI_GET_VPI_INFO;
    return (int)block.commandCode;
}
