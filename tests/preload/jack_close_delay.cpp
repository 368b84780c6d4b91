// Preloaded into the player by a test (LD_PRELOAD): every jack_client_close waits
// JACK_CLOSE_DELAY_MS (1500 by default) before it closes, while the file named by
// JACK_CLOSE_DELAY_FLAG exists, as a machine under heavy load holds a close up. The real
// close comes after, from libjack itself. Built without sanitizers: it is loaded before
// their runtime.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

extern "C" {

typedef struct _jack_client jack_client_t;

int jack_client_close(jack_client_t* client) {
    using Close = int (*)(jack_client_t*);
    static Close real = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "jack_client_close"));
    const char* flag = std::getenv("JACK_CLOSE_DELAY_FLAG");
    if (flag && ::access(flag, F_OK) == 0) {
        const char* ms = std::getenv("JACK_CLOSE_DELAY_MS");
        ::usleep(useconds_t(ms ? std::atoi(ms) : 1500) * 1000u);
    }
    return real ? real(client) : -1;
}

}  // extern "C"
