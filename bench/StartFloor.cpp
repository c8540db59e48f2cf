// What every run of kestrin-cut costs before it reads a byte of a log: the program
// started, with the shared libraries kestrin-cut is linked with, and the logs' code
// page opened.
// The bench sets a log of one line against it.

#include "run/RunRequest.h"
#include "text/CodePage.h"

int main() {
    return kestrin::CodePage::Shared(kestrin::kDefaultCodePage) ? 0 : 1;
}
