"""The device's side of the firmware update over a `PtyDevice`: by default it asks for the image
chunk after chunk and reassembles it, each answer `delay` seconds after the frame it answers; `script`
({answer number, 0 for the answer to OTA_START: action}, or a function of the answer number giving an
action or None) replaces an answer by a (state, offset) pair, SILENT, CHATTER (non-update frames only)
or UNPLUG."""
import threading
import time

from fakes.kit import decode_host, message
from fakes.pty_link import frame

DOWNLOADING, DOWNLOAD_FINISHED, ABORT = 1, 2, 5
OTA_START, OTA_REBOOT = 1, 2
SILENT, CHATTER, UNPLUG = "silent", "chatter", "unplug"


class OtaDevice:
    def __init__(self, device, via_mcu=False, script=None, delay=0):
        self.device, self.via_mcu, self.image, self.answers, self.delay = device, via_mcu, bytearray(), 0, delay
        self.script = script if callable(script) else (script or {}).get
        self.requests = []  # (msg_id, OtaConfig) of every host frame, in order
        device.reply = self._on_frame

    @property
    def chunks(self):
        return [config.ota_data for _, config in self.requests if config.HasField("ota_data")]

    def _default_answer(self, config):
        if config.cmd == OTA_START:
            self.image = bytearray(config.file_size)
            return DOWNLOADING, 0
        chunk = config.ota_data
        self.image[chunk.offset : chunk.offset + len(chunk.data)] = chunk.data
        return (DOWNLOAD_FINISHED if chunk.finished else DOWNLOADING), chunk.offset + len(chunk.data)

    def _on_frame(self, received):
        request = decode_host(received, self.via_mcu)
        self.requests.append((request.msg_id, request.ota_cfg))
        if request.ota_cfg.cmd == OTA_REBOOT:
            return None
        default = self._default_answer(request.ota_cfg)
        action = self.script(self.answers) or default
        self.answers += 1
        time.sleep(self.delay)
        if action in (UNPLUG, CHATTER):
            threading.Thread(target=self.device.unplug if action == UNPLUG else self._chatter, daemon=True).start()
        if action in (SILENT, UNPLUG, CHATTER):
            return None
        state, offset = action
        return frame(message("ControlBoxToApp" if self.via_mcu else "SensorApp", ota_resp=message("OtaConfigResp", state=state, offset=offset)).SerializeToString())

    def _chatter(self):
        data = frame(message("SensorApp", msg_id=7, imu_data=message("ImuData", seq_num=1)).SerializeToString())
        while self.device.send(data):
            time.sleep(0.02)
