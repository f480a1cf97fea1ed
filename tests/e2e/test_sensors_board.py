"""The motion sensors in the running camera: a shake and a wave on the
simulated board raise their alarms with video and images on the card, a
missing chip leaves the other one working, and SIGINT leaves both chips in
standby."""
import time
import unittest

from dashcam_board import board
from sensors_case import STANDBY, TRIGGER_ACCEL, SensorsCase, wait_until


class SensorsBoardTest(SensorsCase):
    def test_shake_records_an_alarm_video_and_image(self):
        self.start()
        self.calibrated()
        self.assertTrue(self.shake_until_alarm(), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: self.files("101video", "*_0.MP4") == [] and
                                   self.files("101video", "*.MP4") != [], 40), self.cam.stdout()[-3000:])
        self.stop()
        self.check_alarm_video(TRIGGER_ACCEL, "A")
        self.assertEqual(self.i2c_log()[-2:], STANDBY)
        self.assertIn("CI2CDevManager Thread Quiting...\n", self.cam.stderr())

    def test_shake_after_the_millisecond_clock_wrapped(self):
        # The 32-bit millisecond count wraps 5 s after the start.
        now = int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000)
        self.start(env={"BOARD_MS_OFFSET": str((2 ** 32 - now - 5000) % 2 ** 32)})
        self.calibrated()
        self.assertTrue(wait_until(lambda: int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000) > now + 8000, 20))
        self.assertTrue(self.shake_until_alarm(), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: self.files("101video", "*_0.MP4") == [] and
                                   self.files("101video", "*.MP4") != [], 40), self.cam.stdout()[-3000:])
        self.stop()
        self.check_alarm_video(TRIGGER_ACCEL, "A")

    def test_wave_takes_a_gesture_image_without_video(self):
        self.start()
        self.calibrated()
        board("wave", self.b.dir)
        self.assertTrue(self.cam.wait_for("IR SENSOR ALARM(PS=4096, THRESHOLD=", 10), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: self.files("104snap", "G*.JPG") != [], 20), self.files("104snap"))
        self.assertTrue(self.cam.wait_for("GESTURE SENSOR RESUME1.\n", 10), self.cam.stdout()[-3000:])
        time.sleep(2)
        self.stop()
        self.assertEqual(self.files("101video"), [])

    def test_missing_accelerometer_leaves_gestures_alarming(self):
        board("sensor", self.b.dir, "accel", "absent")
        self.start()
        self.assertIn("INIT G SENSOR FAILED.\n", self.cam.stderr())
        self.calibrated()
        board("wave", self.b.dir)
        self.assertTrue(self.cam.wait_for("IR SENSOR ALARM(PS=4096", 10), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: self.files("104snap", "G*.JPG") != [], 20), self.files("104snap"))
        self.stop()
        self.assertEqual(self.i2c_log()[-1], STANDBY[0])

    def test_both_chips_missing_the_camera_still_runs(self):
        board("sensor", self.b.dir, "accel", "absent")
        board("sensor", self.b.dir, "prox", "id", "0xff")
        self.start()
        self.assertIn("Init I2C Dev Manager Failed...\n", self.cam.stdout())
        self.stop()
        self.assertNotIn("CI2CDevManager Thread Quiting...\n", self.cam.stderr())


if __name__ == "__main__":
    unittest.main()
