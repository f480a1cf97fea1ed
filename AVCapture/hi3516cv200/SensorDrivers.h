#ifndef AVCAPTURE_HI3516CV200_SENSORDRIVERS_H
#define AVCAPTURE_HI3516CV200_SENSORDRIVERS_H

// Registration of the image-sensor drivers with the ISP and its 3A
// libraries: 0 or the platform's error code.
extern "C" int sensor_register_callback_imx291(void);
extern "C" int sensor_unregister_callback_imx291(void);
extern "C" int sensor_register_callback_mn34222(void);
extern "C" int sensor_unregister_callback_mn34222(void);

#endif
