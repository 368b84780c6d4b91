#pragma once
// The channel count an ALSA device plays without converting channels, asked of ALSA
// itself. The audio library reports a `plug` device (ALSA's default on a machine
// without a sound server) as taking any channel count, as its plugin converts: the
// count of the card or device behind it is not told, and a stream of the library's
// choice (stereo) would have a six-channel card fed two channels.
//
// GUI thread (any thread, in fact: it holds nothing between calls). Opens the device
// without blocking and closes it before it returns; a device that is busy or cannot be
// opened gives no answer.

// The one channel count the device `name` takes with the plug's channel conversion
// left out; 0 when ALSA does not say one (the device cannot be opened, or takes a
// range of counts, as a card with several layouts does).
int alsa_device_own_channels(const char* name);
