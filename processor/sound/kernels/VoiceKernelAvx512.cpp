// Built with AVX-512 (see CMakeLists.txt); run only where the CPU has it.
#if defined(__x86_64__) || defined(__i386__)
#define OSTREL_VOICE_KERNEL_NAME renderAvx512
#include "VoiceKernel.h"
#endif
