#ifndef PLATFORM_ACODEC_H
#define PLATFORM_ACODEC_H

// Requests of the SoC's audio codec device /dev/acodec. All but the reset take
// a pointer to a 32-bit integer.
#define ACODEC_DEVICE_PATH "/dev/acodec"

#define ACODEC_REQ_RESET 0x4100u              // no argument
#define ACODEC_REQ_INPUT_VOLUME 0xC0044101u   // microphone gain
#define ACODEC_REQ_OUTPUT_VOLUME 0xC0044102u  // speaker volume (signed)
#define ACODEC_REQ_SAMPLE_RATE 0xC0044105u    // rate code of input and output
#define ACODEC_REQ_INPUT_MUTE_1 0xC004410Fu   // 1 mutes the microphone
#define ACODEC_REQ_INPUT_MUTE_2 0xC0044110u   // 1 mutes the microphone

// Rate codes of the sample-rate request.
#define ACODEC_RATE_CODE_8K 24    // 8000, 11025, 12000 Hz
#define ACODEC_RATE_CODE_16K 25   // 16000, 22050, 24000 Hz
#define ACODEC_RATE_CODE_32K 26   // 32000, 44100, 48000 Hz

#endif
