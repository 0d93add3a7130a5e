"""
Tuning a model: named parameters, a process pool, checkpoints and the trials table
==================================================================================

A support-vector classifier from scikit-learn, tuned by cross-validation. The parameters are
named: ``C`` and ``gamma`` on a log scale, the kernel and the class weights as lists of choices.
The objective receives a dict of them, with the choices as the objects given. The evaluations
run on a process pool through :func:`corvalinth.parallel.run`; the optimizer is saved after
every iteration, the run is cut short as if the machine had gone down, and a new optimizer loaded
from the file finishes it. ``record_evaluations=True`` keeps every evaluation, which
``trials()`` hands back as a table. Needs scikit-learn (and pandas for the table).
"""

import multiprocessing
import os
import pickle
import shutil
import tempfile
from concurrent.futures import ProcessPoolExecutor

import matplotlib.pyplot as plt
from sklearn.datasets import load_breast_cancer
from sklearn.model_selection import cross_val_score
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import StandardScaler
from sklearn.svm import SVC

import corvalinth as pso
from corvalinth import parallel

X, y = load_breast_cancer(return_X_y=True)

SPACE = {
    "C": ("log", 1e-2, 1e3),
    "gamma": ("log", 1e-4, 1e1),
    "kernel": ["rbf", "sigmoid"],
    "class_weight": [None, "balanced"],
}


def cv_error(params):
    """The cross-validated error rate of an SVC with these parameters (runs in a worker)."""
    model = make_pipeline(StandardScaler(), SVC(**params))
    return 1.0 - cross_val_score(model, X, y, cv=3).mean()


defaults = {"C": 1.0, "gamma": 0.01, "kernel": "rbf", "class_weight": None}
print(f"error with C=1, gamma=0.01: {cv_error(defaults):.4f}")

# %%
# The optimizer hands out the whole swarm at once (``batch=True``), each point a dict, and
# ``parallel.run`` sends each to a worker. ``progress=True`` shows a bar on standard error. The
# checkpoint function pickles the optimizer after every iteration; here it also plays the crash,
# after the fourth iteration.
#
# Workers started by ``fork`` inherit the functions of this script. With another start method
# (the default on macOS and Windows), put the objective in a module of its own.

SETTINGS = {"n_particles": 10, "max_iter": 8, "seed": 7, "batch": True,
            "record_evaluations": True, "progress": True}
directory = tempfile.mkdtemp()
saved = os.path.join(directory, "tuning.pickle")


class Crash(Exception):
    pass


def checkpoint(optimizer):
    with open(saved + ".tmp", "wb") as file:
        pickle.dump(optimizer, file)
    os.replace(saved + ".tmp", saved)  # the previous checkpoint stays whole until then
    if optimizer.iteration == 4:
        raise Crash


pool = ProcessPoolExecutor(max_workers=2, mp_context=multiprocessing.get_context("fork"))
try:
    parallel.run(pso.Optimizer(SPACE, **SETTINGS), cv_error, pool, checkpoint=checkpoint)
except Crash:
    print("the run stopped after iteration 4")

# %%
# A new process would load the file and go on; the display counts on from iteration 4, and the
# record of evaluations travels with the checkpoint, so the result holds the whole run's.

with open(saved, "rb") as file:
    resumed = pickle.load(file)
print(f"resumed at iteration {resumed.iteration}, {resumed.evaluations} evaluations")
result = parallel.run(resumed, cv_error, pool, checkpoint=checkpoint)
pool.shutdown()
shutil.rmtree(directory)

print(f"best error {result.best_value:.4f} after {result.evaluations} evaluations")
print(result.best_params)

# %%
# Every evaluation, in the order it was made: ``trials()`` gives one dict per evaluation (the
# parameters and the value), ``to_pandas()`` the same as a DataFrame.

table = result.to_pandas()
print(table.sort_values("value").head(8).to_string())

# %%
# Where the swarm looked: the log-scaled parameters of every evaluation, coloured by the error.

fig, ax = plt.subplots(figsize=(6, 4.5))
points = ax.scatter(table["C"], table["gamma"], c=table["value"], cmap="viridis_r", s=25)
ax.scatter([result.best_params["C"]], [result.best_params["gamma"]], marker="*", s=250,
           color="red", label="best")
ax.set(xscale="log", yscale="log", xlabel="C", ylabel="gamma",
       title="Cross-validated error of every evaluation")
fig.colorbar(points, label="error rate")
ax.legend()
plt.show()
