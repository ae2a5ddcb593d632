"""Fixtures of the schema oracle tests: the official protobuf runtime on our
hand-written ovik.proto (compiled here with grpcio-tools' protoc), and the
test-only tool that runs our C++ codec (path in OVIK_SCHEMA_CODEC_TOOL; ctest
passes it)."""
import os
import pathlib

import pytest

from oracle_schema import Codec, compile_schema, unpacked_variant

HERE = pathlib.Path(__file__).resolve().parent


@pytest.fixture(scope="session")
def codec():
    path = os.environ.get("OVIK_SCHEMA_CODEC_TOOL")
    if not path:
        pytest.skip("the schema oracle runs from ctest, which sets OVIK_SCHEMA_CODEC_TOOL")
    return Codec(path)


@pytest.fixture(scope="session")
def proto_text():
    return (HERE / "ovik.proto").read_text()


@pytest.fixture(scope="session")
def schema(tmp_path_factory, proto_text):
    """Message classes of ovik.proto as written (repeated scalars packed)."""
    return compile_schema(tmp_path_factory.mktemp("packed"), proto_text)


@pytest.fixture(scope="session")
def unpacked_schema(tmp_path_factory, proto_text):
    """The same schema with every repeated float and enum unpacked."""
    return compile_schema(tmp_path_factory.mktemp("unpacked"), unpacked_variant(proto_text))
