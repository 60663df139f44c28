// What quibbo-cli's writes meet: no output is lost without a word, and a
// file that grows past its limit is a failure, not the end of the program.
//
// std::cout goes through a buffer that remembers why a write failed (a
// closed standard output, a full disk, /dev/full), so that every command
// can end with a one-line failure instead of success. SIGXFSZ and SIGPIPE
// are ignored, so that a write past the file-size limit (ulimit -f) fails
// with EFBIG, which is told as a full disk, and a write to a pipe nobody
// reads fails with EPIPE, instead of killing the program half way through
// a write, before a conversation has stored the lines still waiting.
#ifndef QUIBBO_CLI_STANDARD_STREAMS_H_
#define QUIBBO_CLI_STANDARD_STREAMS_H_

namespace quibbo::cli {

// Sets up the above; call it first, once.
void SetUpStandardStreams();

// Flushes std::cout; the errno of the first write to the standard output
// that failed, or 0 when everything went out.
int StandardOutputError();

// The exit status of a command that returned `status`: that status, unless
// it is 0 and some of the standard output was lost, which is then told in
// one line with the status of its kind. A failure told already keeps its
// status and its one line.
int CheckedExit(int status);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_STANDARD_STREAMS_H_
