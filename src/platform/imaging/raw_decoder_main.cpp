// mirelo-raw-decoder: decodes one camera RAW file for mirelo and mirelo-batch, which start it
// with a connected socket as its standard input and output and the file as descriptor 3 (see
// raw_decoder.h).

#include <cstdio>
#include <cstring>

#include "platform/imaging/raw_decoder.h"

#if defined(__SANITIZE_ADDRESS__)
// A leak check needs ptrace, which the decoder's system-call filter forbids; the process lives
// for one file.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--serve") != 0) {
    std::fputs("mirelo-raw-decoder: started by mirelo and mirelo-batch, not by hand\n", stderr);
    return 2;
  }
  return mirelo::imaging::ServeRawDecode(0, 3);
}
