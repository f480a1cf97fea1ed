#ifndef AVCAPTURE_HI3516CV200_SENSORDRIVERS_H
#define AVCAPTURE_HI3516CV200_SENSORDRIVERS_H

// The image-sensor drivers: each registers its ISP, AE and AWB tables with
// the ISP and the "hisi_ae_lib" / "hisi_awb_lib" libraries (0 or the
// platform's error code) and unregisters them the same way.

int sensor_register_callback_imx291(void);
int sensor_unregister_callback_imx291(void);
int sensor_register_callback_mn34222(void);
int sensor_unregister_callback_mn34222(void);

// Each driver's own register write (0 or -1).
int imx291_sensor_write_register(int addr, int data);
int sensor_write_register(int addr, int data);

#endif
