#include "media/hap_decoder.h"
#include "platform/parallel_for.h"

void hap_decode_callback_serial(HapDecodeWorkFunction work, void* work_table, unsigned int count, void*) {
    for (unsigned int i = 0; i < count; ++i) work(work_table, i);
}

void HapDecodeCallback_MultiThread(HapDecodeWorkFunction work, void* work_table, unsigned int count, void*) {
    if (count == 0) return;
    if (count == 1) {
        work(work_table, 0);
        return;
    }
    platform::parallel_for_each(count, [work, work_table](std::size_t i) {
        work(work_table, static_cast<unsigned int>(i));
    });
}
