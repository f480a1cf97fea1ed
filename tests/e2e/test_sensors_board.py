"""The motion sensors in the running camera: a shake and a wave on the
simulated board raise their alarms, a missing chip leaves the other one
working, and SIGINT leaves both chips in standby."""
import os
import time
import unittest

from dashcam_board import SANITIZER_MARKS, Board, Camera, board, netns_available

STANDBY = ["2 0x90 0x0000 0x00", "2 0x98 0x0007 0x03"]


class SensorsBoardTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.cam = None

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        self.b.close()

    def start(self, env=None):
        # The camera's servers listen on the device's ports: a namespace of its own where one can be made.
        self.cam = Camera(self.b.dir, env=env, netns=netns_available() == "")
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 60), self.cam.stdout() + self.cam.stderr())

    def stop(self):
        status = self.cam.stop()
        err = self.cam.stderr()
        self.assertEqual(status, 0, self.cam.stdout()[-2000:] + err)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.assertIn("Clean Up I2c Dev Done...\n", self.cam.stdout())

    def i2c_log(self):
        with open(os.path.join(self.b.dir, "log", "i2c.log")) as f:
            return [" ".join(l.split()[1:]) for l in f]

    def shake_until_alarm(self, timeout=20.0):
        # The first shake can meet the calibration; shake again until it alarms.
        end = time.time() + timeout
        while time.time() < end:
            board("shake", self.b.dir)
            if self.cam.wait_for("ACCELERATE ALARM\n", 2.0):
                return True
        return False

    def test_shake_and_wave_alarm_and_sigint_stands_both_by(self):
        self.start()
        self.assertTrue(self.cam.wait_for("IR SENSOR CORRECTION SUCCESS(", 20), self.cam.stdout())
        self.assertTrue(self.shake_until_alarm(), self.cam.stdout()[-3000:])
        self.assertTrue(self.cam.wait_for("PROCESS RECORD(ALARM=0x10)\n", 10), self.cam.stdout()[-3000:])
        board("wave", self.b.dir)
        self.assertTrue(self.cam.wait_for("IR SENSOR ALARM(PS=4096, THRESHOLD=", 10), self.cam.stdout()[-3000:])
        self.assertTrue(self.cam.wait_for("GESTURE SENSOR RESUME1.\n", 10), self.cam.stdout()[-3000:])
        self.stop()
        self.assertEqual(self.i2c_log()[-2:], STANDBY)
        self.assertIn("CI2CDevManager Thread Quiting...\n", self.cam.stderr())

    def test_shake_after_the_millisecond_clock_wrapped(self):
        # The 32-bit millisecond count wraps 4 s after the start.
        now = int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000)
        self.start(env={"BOARD_MS_OFFSET": str((2 ** 32 - now - 4000) % 2 ** 32)})
        self.assertTrue(self.cam.wait_for("IR SENSOR CORRECTION SUCCESS(", 20), self.cam.stdout())
        time.sleep(7)
        self.assertTrue(self.shake_until_alarm(), self.cam.stdout()[-3000:])
        self.assertTrue(self.cam.wait_for("PROCESS RECORD(ALARM=0x10)\n", 10), self.cam.stdout()[-3000:])
        self.stop()

    def test_missing_accelerometer_leaves_gestures_alarming(self):
        board("sensor", self.b.dir, "accel", "absent")
        self.start()
        self.assertIn("INIT G SENSOR FAILED.\n", self.cam.stderr())
        self.assertTrue(self.cam.wait_for("IR SENSOR CORRECTION SUCCESS(", 20), self.cam.stdout())
        board("wave", self.b.dir)
        self.assertTrue(self.cam.wait_for("IR SENSOR ALARM(PS=4096", 10), self.cam.stdout()[-3000:])
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
