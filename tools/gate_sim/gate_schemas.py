"""The gate's message schemas for the simulator: runs protoc on the repository's
interface/*/*.proto into a private directory, imports the generated modules and
maps command kind and sub-id to message classes.

protoc names the Python modules after the schema folders, and the folder
"types" collides with Python's own `types` module, so the generated imports
are moved under a private package (gate_sim_pb.<folder>). The registered file
names ("gate/gate.proto", ...) stay as they are.
"""

import glob
import importlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

from google.protobuf import json_format

PROTOC = "/usr/bin/protoc" if os.path.exists("/usr/bin/protoc") else "protoc"
PACKAGE = "gate_sim_pb"

# Kind -> (protobuf package, command-id enum). bs.matchclient has no enum:
# its sub-ids come from the table below.
KIND_PACKAGES = {
    12: ("bs.gate", "CMDID_Gate"),
    13: ("bs.client", "CMDID_Client"),
    14: ("bs.matchclient", None),
    18: ("bs.hallclient", "CMDID_HallClient"),
    23: ("bs.userinfo", "CMDID_UserInfo"),
}

MATCH_SUBIDS = {
    1: "PlayerActionReq", 2: "PlayerActionRsp", 3: "JoinReq", 4: "JoinRsp",
    5: "TableStatus", 6: "GameData", 7: "AddChip", 8: "RankListReq",
    9: "MatchRankData", 10: "EnterMatchReq", 11: "EnterMatchRsp",
    12: "RoundStart", 13: "UserInfoInd", 14: "RoundEnd", 15: "MatchStart",
    16: "DieoutStageEnding", 17: "OneTurnEvent", 18: "StageEvent",
    19: "MatchPrize", 20: "BaseScoreEvent", 21: "BackGameReq",
    22: "BackGameRsp", 23: "FixedNumberPlanReq", 24: "FixedNumberPlanRsp",
    25: "MayIBack2MP", 26: "RoundSceneReq", 27: "RoundSceneRsp",
    28: "PlayerRightReq", 29: "PlayerRightRsp", 30: "UserDetailInfo",
    32: "PlayerEndOneMatch", 33: "FreeMatchNewMatch", 36: "RingActionReq",
    37: "RingActionInd", 38: "RingListReq", 39: "RingListRsp",
    40: "SwitchGroupReq", 41: "SwitchGroupRsp", 42: "RingInfoUpdate",
    43: "RingNextRoundFee", 44: "RoomTaskPrize",
}

_IMPORT_RE = re.compile(r"^from (\w+) import (\w+_pb2) as ", re.M)


class SchemaError(RuntimeError):
    pass


def default_interface_dir():
    return os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                         "..", "..", "interface"))


def proto_files(interface_dir):
    return sorted(os.path.relpath(p, interface_dir)
                  for p in glob.glob(os.path.join(interface_dir, "*", "*.proto")))


class Schemas:
    """Generated modules and the command map. One instance per process (the
    protobuf runtime keeps one descriptor pool): use load()."""

    def __init__(self, interface_dir):
        self.interface_dir = interface_dir
        self.files = proto_files(interface_dir)
        if not self.files:
            raise SchemaError("no schemas under %s" % interface_dir)
        self.out_dir = tempfile.mkdtemp(prefix="gate_sim_pb_")
        try:
            self._generate()
            self.modules = self._import_all()
        finally:
            shutil.rmtree(self.out_dir, ignore_errors=True)
        self.classes = {}
        for mod in self.modules.values():
            for name in mod.DESCRIPTOR.message_types_by_name:
                cls = getattr(mod, name)
                self.classes[cls.DESCRIPTOR.full_name] = cls
        self.commands = {}      # (kind, subid) -> class
        self.command_of = {}    # full name -> (kind, subid)
        for kind, (package, enum_name) in KIND_PACKAGES.items():
            for subid, short in self._subids(package, enum_name):
                cls = self.classes.get(package + "." + short)
                if cls is not None:
                    self.commands[(kind, subid)] = cls
                    self.command_of[cls.DESCRIPTOR.full_name] = (kind, subid)

    def _generate(self):
        root = os.path.join(self.out_dir, PACKAGE)
        os.makedirs(root)
        cmd = [PROTOC, "-I", self.interface_dir, "--python_out=" + root] + self.files
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            raise SchemaError("protoc failed: %s" % r.stderr.strip())
        for d, _, files in os.walk(root):
            open(os.path.join(d, "__init__.py"), "a").close()
            for f in files:
                if f.endswith("_pb2.py"):
                    path = os.path.join(d, f)
                    with open(path) as fh:
                        text = fh.read()
                    text = _IMPORT_RE.sub(r"from %s.\1 import \2 as " % PACKAGE, text)
                    with open(path, "w") as fh:
                        fh.write(text)

    def _import_all(self):
        sys.path.insert(0, self.out_dir)
        try:
            mods = {}
            for rel in self.files:
                name = PACKAGE + "." + rel[:-len(".proto")].replace(os.sep, ".") + "_pb2"
                mods[rel] = importlib.import_module(name)
            return mods
        finally:
            sys.path.remove(self.out_dir)

    def _subids(self, package, enum_name):
        if enum_name is None:
            return MATCH_SUBIDS.items() if package == "bs.matchclient" else []
        for mod in self.modules.values():
            if mod.DESCRIPTOR.package == package and enum_name in mod.DESCRIPTOR.enum_types_by_name:
                enum = mod.DESCRIPTOR.enum_types_by_name[enum_name]
                return [(v.number, v.name[2:]) for v in enum.values
                        if v.name.startswith("ID") and v.name != "IDLast"]
        return []

    # -- helpers used by the simulator

    def message_class(self, name=None, kind=None, subid=None):
        if name:
            cls = self.classes.get(name)
            if cls is None:
                raise SchemaError("unknown message %s" % name)
            return cls
        cls = self.commands.get((kind, subid))
        if cls is None:
            raise SchemaError("no message for command %s/%s" % (kind, subid))
        return cls

    def build(self, cls, fields):
        msg = cls()
        if fields:
            json_format.ParseDict(fields, msg)
        return msg

    @staticmethod
    def to_dict(msg):
        return json_format.MessageToDict(msg, preserving_proto_field_name=True)


_loaded = {}


def load(interface_dir=None):
    interface_dir = os.path.abspath(interface_dir or default_interface_dir())
    if interface_dir not in _loaded:
        if _loaded:
            raise SchemaError("schemas already loaded from another directory")
        _loaded[interface_dir] = Schemas(interface_dir)
    return _loaded[interface_dir]
