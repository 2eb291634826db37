#include "scan/IndexFraming.h"

namespace loftwick {

void IndexFraming::Reset() {
    buffer_.fill(0);
    stored_ = 0;
    field_ = 1;
    fieldLength_ = 0;
    fieldCount_ = 0;
    overflowed_ = false;
}

bool IndexFraming::Feed(const uint8_t* data, size_t size, size_t& pos) {
    while (pos < size) {
        const uint8_t byte = data[pos++];
        if (stored_ == kBufferSize)
            overflowed_ = true;
        else
            buffer_[stored_++] = byte;

        if (fieldLength_ == 0) {
            fieldLength_ = byte;
            continue;
        }
        if (++fieldCount_ < fieldLength_) continue;
        ++field_;
        fieldCount_ = 0;
        switch (field_) {
            case 3:
            case 4:
                fieldLength_ = 4;
                break;
            case 6:
                fieldLength_ = 8;
                break;
            case 7:
                return true;
            default:
                fieldLength_ = 0;
                break;  // a length byte follows
        }
    }
    return false;
}

}  // namespace loftwick
