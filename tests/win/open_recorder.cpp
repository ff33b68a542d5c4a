// A stand-in application for the file-association test: started by the shell with a
// document's path, it writes that path (its first argument, as it arrived) to the file that
// TARVEL_OPEN_RECORD names and exits.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    const char *record = getenv("TARVEL_OPEN_RECORD");
    if (record == NULL || argc < 2)
        return 2;
    FILE *file = fopen(record, "wb");
    if (file == NULL)
        return 3;
    size_t length = strlen(argv[1]);
    bool written = fwrite(argv[1], 1, length, file) == length;
    return fclose(file) == 0 && written ? 0 : 4;
}
