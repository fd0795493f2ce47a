"""Players by name: the text form that the command line and `Player.spec` use."""

from vexlan_rl._engine import NUM_SEATS as SEATS
from vexlan_rl._players import Player as _EnginePlayer
from vexlan_rl.players.engine import DEFAULTS, GreedyPlayer, MctsPlayer, Player, RandomPlayer

KINDS = _EnginePlayer.KINDS
POLICY_KINDS = ("policy", "policy-sample")  # trained networks, read by vexlan_rl.players.policy
SEARCH_KIND = "az"  # a trained network steering a search, read by vexlan_rl.players.search_player
SPEC_HELP = ("the kinds are random, greedy, mcts, policy, policy-sample and az; mcts takes a budget and a "
             "playout policy: mcts:1000 (simulations a move), mcts:0.5s (seconds a move), mcts:1000:greedy "
             "(greedy playouts); policy:PATH plays the most likely move of the trained network saved at PATH, "
             "policy-sample:PATH draws its moves from it, az:PATH:64 plays the most visited move of a search "
             "of 64 simulations a move that the network judges (these three need torch)")


def _budget(text: str) -> dict[str, float | int]:
    if text.endswith("s"):
        seconds = float(text[:-1])
        if not 0 < seconds <= _EnginePlayer.MAX_SECONDS:
            raise ValueError
        return {"seconds": seconds}
    simulations = int(text)
    if simulations < 1:
        raise ValueError
    return {"simulations": simulations}


def _network_player(text: str, kind: str, path: str) -> Player:
    if kind == SEARCH_KIND:
        from vexlan_rl.players.search_player import SearchPlayer
        path, _, simulations = path.rpartition(":")
        if not path or not simulations.isdigit() or int(simulations) < 1:
            raise ValueError(f"bad player {text!r}: {SPEC_HELP}")
        return SearchPlayer(path, int(simulations))
    from vexlan_rl.players.policy import PolicyPlayer
    return PolicyPlayer(path, sample=kind == "policy-sample")


def parse_player(text: str) -> Player:
    """The player that `text` names; ValueError naming the valid kinds otherwise. Only the
    network kinds import torch."""
    kind, _, path = text.strip().partition(":")
    if kind in (*POLICY_KINDS, SEARCH_KIND) and path:
        try:
            return _network_player(text, kind, path)
        except ImportError as missing:
            raise ValueError(f"bad player {text!r}: it needs torch ({missing}); install it with: "
                             "pip install -c tools/constraints.txt 'vexlan-rl[torch]'") from None
        except OSError as error:
            raise ValueError(f"bad player {text!r}: {error}") from None
    kind, *options = text.strip().split(":")
    try:
        if kind in ("random", "greedy") and not options:
            return RandomPlayer() if kind == "random" else GreedyPlayer()
        if kind == "mcts" and len(options) <= 2:
            budget = _budget(options[0]) if options else {}
            playout = options[1] if len(options) == 2 else DEFAULTS["playout"]
            if playout in _EnginePlayer.PLAYOUTS:
                return MctsPlayer(playout=playout, **budget)  # type: ignore[arg-type]
    except ValueError:
        pass
    raise ValueError(f"bad player {text!r}: {SPEC_HELP}")


def parse_players(text: str) -> list[Player]:
    """Four players from a comma-separated list, e.g. "mcts:1000,greedy,random,random"."""
    players = [parse_player(part) for part in text.split(",")]
    if len(players) != SEATS:
        raise ValueError(f"need {SEATS} players, one per seat, not {len(players)}: {text!r}")
    return players
