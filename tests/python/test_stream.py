"""iter_records streams a large generated form in batches that give the same rows as read(); threads
sharing a database get the same records."""

import threading
import warnings

import pytest

import corvane


@pytest.mark.parametrize("records, batch", [("live", 65536), ("all", 4096), ("deleted", 10000)])
def test_batches_give_the_rows_of_read(records, batch, fixtures):
    with corvane.open(fixtures / "large") as db:
        whole = db.read("Customers", records=records)
        sizes = []
        rows = []
        for table in db.iter_records("Customers", records=records, batch=batch):
            assert table.columns == whole.columns
            sizes.append(len(table))
            rows.extend(table.rows())
    assert len(whole) > batch
    assert all(size == batch for size in sizes[:-1]) and 0 < sizes[-1] <= batch
    assert rows == whole.rows()


def test_threads_share_a_database(fixtures):
    with corvane.open(fixtures / "large") as db:
        expected = db.read("Customers").to_pandas()
        results = [None] * 4
        errors = []

        def read(i):
            try:
                results[i] = db.read("Customers").to_pandas() if i % 2 else \
                    sum(len(t) for t in db.iter_records("Customers", batch=50000))
            except Exception as e:  # noqa: BLE001 - carried back to the test's thread
                errors.append(e)

        threads = [threading.Thread(target=read, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    assert not errors
    for i, result in enumerate(results):
        if i % 2:
            assert result.equals(expected)
        else:
            assert result == len(expected)
