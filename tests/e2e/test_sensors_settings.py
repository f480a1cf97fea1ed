"""The motion sensors with settings of their own: stillness switches
parking mode on and a shake switches it off; a gesture with associated video."""
import time
import unittest

from dashcam_board import board
from sensors_case import TRIGGER_GESTURE, SensorsCase, wait_until


class SensorsSettingsTest(SensorsCase):
    def test_wave_with_associated_video(self):
        self.first_run(snapshot_associate_video=1)
        self.start()
        self.calibrated()
        board("wave", self.b.dir)
        self.assertTrue(self.cam.wait_for("IR SENSOR ALARM(PS=4096, THRESHOLD=", 10), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: self.files("101video", "*_0.MP4") == [] and
                                   self.files("101video", "*.MP4") != [], 40), self.cam.stdout()[-3000:])
        self.stop()
        self.check_alarm_video(TRIGGER_GESTURE, "G")

    def test_parking_after_stillness_and_a_shake_leaves_it(self):
        self.first_run(enableparkingmonitor=1, parkingtimethreshold=0)
        self.start()
        self.assertTrue(self.cam.wait_for("ParkingEnable: 1", 30), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: "PCM 31" in self.prompts(), 10), self.prompts())
        self.assertTrue(self.shake_until_alarm(), self.cam.stdout()[-3000:])
        self.assertTrue(wait_until(lambda: self.files("104snap", "P*.JPG") != [], 20), self.files("104snap"))
        self.assertTrue(wait_until(lambda: "PCM 32" in self.prompts(), 10), self.prompts())
        time.sleep(3)
        self.stop()
        names = self.files("100video") + self.files("101video")
        self.assertTrue(any(n.endswith("_P.MP4") for n in names), names)


if __name__ == "__main__":
    unittest.main()
