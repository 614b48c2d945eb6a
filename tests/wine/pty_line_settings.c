/* Preloaded into the Wine processes of the integration run, where a pseudo-terminal served by
 * p06-sim stands in for the bench PC's COM port.
 *
 * A pseudo-terminal has no UART behind it: the kernel keeps it at CS8 without parity, whatever
 * the request, and still answers the set with success. glibc's tcsetattr then reads the line
 * back and reports EINVAL when none of the request took. The first 8E1 SetCommState on a fresh
 * line also changes the input flags, so it passes; the next one, with the line already holding
 * everything else, differs only in parity and fails, and Wine returns ERROR_INVALID_PARAMETER
 * (87). The link's Open sets the line twice, so it could never open a pty under Wine. A real
 * serial port takes 8E1, and the link's calls are what is under test, not the pty.
 *
 * This wrapper lets such a refusal through as success, and only that one: the descriptor is a
 * pseudo-terminal slave, the error is EINVAL, and reading the settings back shows everything
 * else of the request in force. Any other failure, and every other descriptor, is untouched.
 *
 *   cc -shared -fPIC -O2 -o pty_line_settings.so pty_line_settings.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

/* Unix98 pseudo-terminal slaves (/dev/pts/N) use the majors 136 to 143. */
enum { kPtySlaveMajorFirst = 136, kPtySlaveMajorLast = 143 };

/* The control characters the kernel keeps; glibc's record has room for more. */
enum { kKernelControlChars = VEOL2 + 1 };

/* The parts of c_cflag a pseudo-terminal does not keep. */
#define UART_ONLY_CFLAGS (PARENB | PARODD | CMSPAR | CSIZE)

static int IsPtySlave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
    unsigned int m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

/* True when the line holds the request, the bits a pseudo-terminal cannot keep aside. */
static int InForceButParity(int fd, const struct termios* wanted) {
    struct termios now;
    if (tcgetattr(fd, &now) != 0) return 0;
    return now.c_iflag == wanted->c_iflag && now.c_oflag == wanted->c_oflag &&
           now.c_lflag == wanted->c_lflag &&
           (now.c_cflag & ~UART_ONLY_CFLAGS) == (wanted->c_cflag & ~UART_ONLY_CFLAGS) &&
           memcmp(now.c_cc, wanted->c_cc, kKernelControlChars) == 0;
}

int tcsetattr(int fd, int optionalActions, const struct termios* termios) {
    static int (*next)(int, int, const struct termios*);
    if (!next) next = (int (*)(int, int, const struct termios*))dlsym(RTLD_NEXT, "tcsetattr");
    int result = next(fd, optionalActions, termios);
    if (result == 0 || errno != EINVAL) return result;
    int savedErrno = errno;
    if (IsPtySlave(fd) && InForceButParity(fd, termios)) return 0;
    errno = savedErrno;
    return -1;
}
