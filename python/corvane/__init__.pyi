import datetime
import os
from typing import Any, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import pandas

PathLike = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
Value = Union[int, float, str, bytes, datetime.date, datetime.time, bool, None]

class Error(Exception): ...
class DatabaseError(Error): ...
class FormNotFoundError(Error, LookupError): ...
class DataFileWarning(UserWarning): ...
class ExportWarning(UserWarning): ...

class ExportResult(NamedTuple):
    form: Optional[str]
    label: str
    selection: str
    found: bool
    written: bool
    file: Optional[str]
    table: Optional[str]
    records_written: int
    slots_read: int
    columns: int
    data_file_short: bool
    error: Optional[str]
    @property
    def ok(self) -> bool: ...

class DatabaseInfo(NamedTuple):
    path: str
    version: int
    label: str
    name: str

class Form(NamedTuple):
    name: str
    data_file: str
    record_length: int
    record_count: int
    system_form: bool
    variant_level: int

class Field(NamedTuple):
    name: str
    type: int
    type_name: str
    length: int
    subtype: int
    integer_digits: int
    choices: Tuple[str, ...]
    first: bool
    hidden: bool

class Table:
    @property
    def columns(self) -> List[str]: ...
    @property
    def kinds(self) -> List[str]: ...
    def __len__(self) -> int: ...
    def __getitem__(self, name: Union[str, int]) -> np.ndarray: ...
    def column(self, name: Union[str, int]) -> List[Value]: ...
    def rows(self) -> List[Tuple[Value, ...]]: ...
    def to_pandas(self) -> pandas.DataFrame: ...

class Database:
    def __init__(self, path: PathLike, depath: Optional[PathLike] = ...) -> None: ...
    def __enter__(self) -> Database: ...
    def __exit__(self, *exc: Any) -> None: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def path(self) -> str: ...
    @property
    def version(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def depath(self) -> str: ...
    @property
    def forms(self) -> List[Form]: ...
    def fields(self, form: Union[str, bytes]) -> List[Field]: ...
    def read(self, form: Union[str, bytes], records: str = ..., encoding: Optional[str] = ...) -> Table: ...
    def export(
        self,
        out: PathLike,
        format: str = ...,
        forms: Optional[Union[str, bytes, Sequence[Union[str, bytes]]]] = ...,
        **options: Any,
    ) -> List[ExportResult]: ...
    def iter_records(
        self, form: Union[str, bytes], records: str = ..., encoding: Optional[str] = ..., batch: int = ...
    ) -> Iterator[Table]: ...

def databases(path: PathLike, recursive: bool = ...) -> List[DatabaseInfo]: ...
def open(path: PathLike, depath: Optional[PathLike] = ...) -> Database: ...
